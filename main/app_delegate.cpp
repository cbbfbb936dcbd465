// The application callbacks (launch, reopen, the quit guard, the clean-up at exit) and the two quit
// commands of the menu.
#include "app_delegate.h"

#include "main/command_line.h"
#include "main/failure_alerts.h"
#include "support/identity.h"

namespace corvel {

constexpr std::chrono::milliseconds RefreshInterval = std::chrono::seconds(2);
constexpr std::chrono::milliseconds LaunchToggleDelay{200};

AppDelegate::AppDelegate(Platform& platform) : platform_(platform), parts_(platform) {}

void AppDelegate::applicationDidFinishLaunching() {
  // Callbacks hold the delegate weakly: the platform's objects may outlive it.
  const std::weak_ptr<AppDelegate> weak = weak_from_this();
  const auto command = [weak](void (AppDelegate::*method)()) {
    return [weak, method] {
      if (auto self = weak.lock()) ((*self).*method)();
    };
  };
  parts_.statusMenu.configureStatusItem({command(&AppDelegate::turnOffAndQuit), command(&AppDelegate::restoreAndQuit)});
  parts_.watchdog.registerWatchdogIfNeeded();
  parts_.protection.applyStoredState();
  parts_.display.refreshStatus();
  // Once protection is as stored and shown: the alert waits for the person, the protection must not.
  if (const auto failure = parts_.watchdog.failureToReport()) tell(platform_.alerts, *failure);
  refreshTimer_ = platform_.application.scheduleRepeatingTimer(RefreshInterval, [weak] {
    if (auto self = weak.lock()) self->refresh();
  });
  const bool watchdogLaunch = hasArgument(platform_.environment.arguments(), WatchdogLaunchArgument);
  const bool toggleSuppressed = isSwitchOn(platform_.environment.variable(NoToggleVariable));
  // An ordinary launch acts like a click on the icon; a relaunch after a crash keeps the state.
  if (!watchdogLaunch && !toggleSuppressed) {
    platform_.application.dispatchAfter(LaunchToggleDelay, [weak] {
      if (auto self = weak.lock()) self->parts_.protection.toggleProtection();
    });
  }
}

void AppDelegate::refresh() {
  parts_.display.refreshStatus();
  // After the display, whose reading of the sleep switch the guard shares; a repair is shown at once.
  if (parts_.safety.check()) parts_.display.refreshStatus();
}

bool AppDelegate::applicationShouldHandleReopen(bool /*hasVisibleWindows*/) {
  parts_.protection.toggleProtection();
  return false;  // nothing to open: the click was the toggle
}

TerminateReply AppDelegate::applicationShouldTerminate() {
  if (parts_.settings.enabled()) {
    tell(platform_.alerts, Failure::quitRefusedWhileOn);
    return TerminateReply::cancel;
  }
  intentionalTermination_ = true;
  return TerminateReply::now;
}

void AppDelegate::applicationWillTerminate() {
  parts_.caffeinate.stopCaffeinate();
  if (intentionalTermination_) parts_.watchdog.unregisterWatchdog();
}

void AppDelegate::turnOffAndQuit() {
  if (!parts_.protection.setProtection(false)) return;
  intentionalTermination_ = true;
  parts_.watchdog.unregisterWatchdog();
  platform_.application.terminate();
}

void AppDelegate::restoreAndQuit() {
  // Nested in a switch's Touch ID wait, a restore would be undone by the switch finishing after it.
  if (parts_.protection.isSwitchInProgress()) return;
  const AlertRequest confirmation{"Macの設定を元に戻しますか？",
                                  "スリープ防止を解除し、画面ロック設定と追加権限を元に戻してから終了します。",
                                  AlertStyle::warning,
                                  {"元に戻して終了", "キャンセル"},
                                  std::nullopt};
  if (platform_.alerts.runModal(confirmation).pressedButton != 0u) return;
  // The password comes before protection is switched off: a cancel or a wrong one then leaves Corvel
  // on and the Mac as it was, rather than off with the lock still off. A step that fails is told before
  // the summary (the switch tells its own).
  const auto told = [this](Outcome outcome) {
    if (const auto failure = outcome.failure()) tell(platform_.alerts, *failure);
    return static_cast<bool>(outcome);
  };
  std::optional<SecretText> password;
  if (told(parts_.remoteMode.askRestorePassword(password)) && parts_.protection.setProtection(false) &&
      told(parts_.remoteMode.restoreRemoteSettings(std::move(password))) &&
      parts_.permission.removeLimitedPermission()) {
    intentionalTermination_ = true;
    parts_.watchdog.unregisterWatchdog();
    platform_.application.terminate();
    return;
  }
  tell(platform_.alerts, Failure::restoreIncomplete);
}

}  // namespace corvel
