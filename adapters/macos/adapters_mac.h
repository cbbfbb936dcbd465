// Factories for the Mac adapters of the ports; plain C++, so that the wiring needs no Objective-C.
#pragma once

#include <memory>
#include <string_view>

#include "ports/administrator_script.h"
#include "ports/agent_service.h"
#include "ports/alerts.h"
#include "ports/application.h"
#include "ports/biometrics.h"
#include "ports/defaults_reader.h"
#include "ports/directory.h"
#include "ports/dock_tile.h"
#include "ports/machine.h"
#include "ports/notifications.h"
#include "ports/session.h"
#include "ports/settings_store.h"
#include "ports/status_bar.h"
#include "ports/workspace.h"

namespace corvel::mac {

std::unique_ptr<SettingsStore> makeSettingsStore();
// Another program's preferences, or the application's from a process that is not the application.
std::unique_ptr<SettingsStore> makeApplicationDomainStore(std::string_view applicationID);
std::unique_ptr<DefaultsReader> makeDefaultsReader();
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
std::unique_ptr<Machine> makeMachine();
std::unique_ptr<Notifications> makeNotifications();

}  // namespace corvel::mac
