// The set of ports one program is wired to, and the factory each platform provides for it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "administrator_script.h"
#include "agent_service.h"
#include "alerts.h"
#include "application.h"
#include "biometrics.h"
#include "clock.h"
#include "directory.h"
#include "dock_tile.h"
#include "file_system.h"
#include "machine.h"
#include "notifications.h"
#include "process_environment.h"
#include "process_runner.h"
#include "session.h"
#include "settings_store.h"
#include "status_bar.h"
#include "tool_paths.h"

namespace corvel {

// References only: whoever builds a Platform owns the adapters and outlives every user of it. Built
// with designated initialisers, so that a port added here is named wherever one is made.
struct Platform {
  SettingsStore& defaults;
  Application& application;
  ProcessRunner& processes;
  Clock& clock;
  ProcessEnvironment& environment;
  FileSystem& files;
  StatusBar& statusBar;
  AdministratorScript& administratorScript;
  Session& session;
  Alerts& alerts;
  Biometrics& biometrics;
  Directory& directory;
  DockTile& dockTile;
  AgentServices& agents;
  Machine& machine;
  Notifications& notifications;
  ToolPaths tools;
};

// Owns the adapters of the platform the program was built for.
class PlatformServices {
 public:
  virtual ~PlatformServices() = default;
  virtual Platform& platform() = 0;
};

std::unique_ptr<PlatformServices> makePlatformServices(std::vector<std::string> arguments);

}  // namespace corvel
