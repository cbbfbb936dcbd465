// Launch and reopen: what Corvel does once the event loop runs, and on a click on its Dock tile.
#include "main/app_delegate.h"
#include "main/command_line.h"

namespace corvel {

void AppDelegate::applicationDidFinishLaunching() {
  configureStatusItem();
  registerWatchdogIfNeeded();
  applyStoredState();
  refreshStatus();
  const std::weak_ptr<AppDelegate> weak = weak_from_this();
  refreshTimer = platform_.application.scheduleRepeatingTimer(2.0, [weak] {
    if (auto self = weak.lock()) self->refreshStatus();
  });
  const bool watchdogLaunch = hasArgument(platform_.environment.arguments(), WatchdogLaunchArgument);
  const bool toggleSuppressed = isSwitchOn(platform_.environment.variable(NoToggleVariable));
  // An ordinary launch acts like a click on the icon; a relaunch after a crash keeps the state.
  if (!watchdogLaunch && !toggleSuppressed) {
    platform_.application.dispatchAfter(0.2, [weak] {
      if (auto self = weak.lock()) self->toggleProtection();
    });
  }
}

bool AppDelegate::applicationShouldHandleReopen(bool /*hasVisibleWindows*/) {
  toggleProtection();
  return false;  // nothing to open: the click was the toggle
}

}  // namespace corvel
