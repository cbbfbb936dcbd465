// The watchdog's checking loop.
#include "watchdog.h"

namespace corvel::watchdog {

void launchMainAppIfNeeded(Workspace& workspace, const std::string& targetBundleIdentifier) {
  if (workspace.isApplicationRunning(targetBundleIdentifier)) return;
  const auto location = workspace.applicationLocation(targetBundleIdentifier);
  if (!location) return;  // not installed: the next check looks again
  // In the background: a relaunch after a crash must not take the user's keyboard focus.
  workspace.openApplication(*location, {std::string(WatchdogLaunchArgument)}, /*activates=*/false);
}

void runChecks(Workspace& workspace, const std::string& targetBundleIdentifier,
               const std::function<void(std::chrono::milliseconds)>& sleep, const std::function<bool()>& keepGoing) {
  launchMainAppIfNeeded(workspace, targetBundleIdentifier);
  while (keepGoing()) {
    sleep(CheckInterval);
    launchMainAppIfNeeded(workspace, targetBundleIdentifier);
  }
}

}  // namespace corvel::watchdog
