// Factories for the Mac adapters of the ports; plain C++, so that the wiring needs no Objective-C.
#pragma once

#include <memory>

#include "platform/administrator_script.h"
#include "platform/agent_service.h"
#include "platform/alerts.h"
#include "platform/application.h"
#include "platform/biometrics.h"
#include "platform/directory.h"
#include "platform/dock_tile.h"
#include "platform/session.h"
#include "platform/settings_store.h"
#include "platform/status_bar.h"
#include "platform/workspace.h"

namespace corvel::mac {

std::unique_ptr<SettingsStore> makeSettingsStore();
std::unique_ptr<Application> makeApplication();
std::unique_ptr<StatusBar> makeStatusBar();
std::unique_ptr<Alerts> makeAlerts();
std::unique_ptr<DockTile> makeDockTile();
std::unique_ptr<Biometrics> makeBiometrics();
std::unique_ptr<Directory> makeDirectory();
std::unique_ptr<AdministratorScript> makeAdministratorScript();
std::unique_ptr<Session> makeSession();
std::unique_ptr<AgentServices> makeAgentServices();
std::unique_ptr<Workspace> makeWorkspace();

}  // namespace corvel::mac
