// The wiring of Corvel's collaborators to the platform.
#include "collaborators.h"

#include "main/failure_alerts.h"

namespace corvel {

Collaborators::Collaborators(Platform& platform)
    : settings(platform.defaults),
      caffeinate(platform.processes, platform.defaults, platform.tools.caffeinate),
      sleepSwitch(platform.processes, platform.clock, platform.tools),
      screenLock(platform.processes, platform.session, platform.tools),
      permission(platform.administratorScript, platform.environment, platform.files, sleepSwitch),
      confirmations(platform.biometrics, platform.application, platform.alerts, platform.directory,
                    platform.environment),
      remoteMode(platform.alerts, platform.defaults, screenLock, sleepSwitch, permission, confirmations),
      display(platform.statusBar, platform.dockTile, settings, sleepSwitch, screenLock, caffeinate),
      protection(settings, sleepSwitch, permission, remoteMode, confirmations, caffeinate,
                 {[&alerts = platform.alerts](Failure failure) { tell(alerts, failure); },
                  [this] {
                    safety.protectionChanged();
                    display.refreshStatus();
                  }}),
      safety({.defaults = platform.defaults,
              .clock = platform.clock,
              .machine = platform.machine,
              .notifications = platform.notifications,
              .processes = platform.processes,
              .tools = platform.tools,
              .settings = settings,
              .protection = protection,
              .caffeinate = caffeinate,
              .sleepSwitch = sleepSwitch,
              .permission = permission,
              .screenLock = screenLock}),
      statusMenu(platform.statusBar, display, protection),
      watchdog(platform.agents, platform.environment) {}

}  // namespace corvel
