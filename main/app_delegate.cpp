// The application callbacks (launch, reopen, the quit guard, the clean-up at exit), the two quit
// commands of the menu, and the wiring of the collaborators.
#include "app_delegate.h"

#include "main/command_line.h"
#include "main/failure_alerts.h"
#include "support/identity.h"

namespace corvel {

constexpr std::chrono::milliseconds RefreshInterval = std::chrono::seconds(2);
constexpr std::chrono::milliseconds LaunchToggleDelay{200};

AppDelegate::AppDelegate(Platform& platform)
    : platform_(platform),
      settings_(platform.defaults),
      caffeinate_(platform.processes, platform.defaults, platform.tools.caffeinate),
      sleepSwitch_(platform.processes, platform.clock, platform.tools),
      screenLock_(platform.processes, platform.session, platform.tools),
      permission_(platform.administratorScript, platform.environment, platform.files, sleepSwitch_),
      confirmations_(platform.biometrics, platform.application, platform.alerts, platform.directory,
                     platform.environment),
      remoteMode_(platform.alerts, platform.defaults, screenLock_, sleepSwitch_, permission_, confirmations_),
      display_(platform.statusBar, platform.dockTile, settings_, sleepSwitch_, screenLock_, caffeinate_),
      protection_(settings_, sleepSwitch_, permission_, remoteMode_, confirmations_, caffeinate_,
                  {[this](Failure failure) { tell(platform_.alerts, failure); }, [this] { display_.refreshStatus(); }}),
      statusMenu_(platform.statusBar, display_, protection_),
      watchdog_(platform.agents, platform.environment) {}

void AppDelegate::applicationDidFinishLaunching() {
  // Callbacks hold the delegate weakly: the platform's objects may outlive it.
  const std::weak_ptr<AppDelegate> weak = weak_from_this();
  const auto command = [weak](void (AppDelegate::*method)()) {
    return [weak, method] {
      if (auto self = weak.lock()) ((*self).*method)();
    };
  };
  statusMenu_.configureStatusItem({command(&AppDelegate::turnOffAndQuit), command(&AppDelegate::restoreAndQuit)});
  watchdog_.registerWatchdogIfNeeded();
  protection_.applyStoredState();
  display_.refreshStatus();
  // Once protection is as stored and shown: the alert waits for the person, the protection must not.
  if (const auto failure = watchdog_.failureToReport()) tell(platform_.alerts, *failure);
  refreshTimer_ = platform_.application.scheduleRepeatingTimer(RefreshInterval, [weak] {
    if (auto self = weak.lock()) self->display_.refreshStatus();
  });
  const bool watchdogLaunch = hasArgument(platform_.environment.arguments(), WatchdogLaunchArgument);
  const bool toggleSuppressed = isSwitchOn(platform_.environment.variable(NoToggleVariable));
  // An ordinary launch acts like a click on the icon; a relaunch after a crash keeps the state.
  if (!watchdogLaunch && !toggleSuppressed) {
    platform_.application.dispatchAfter(LaunchToggleDelay, [weak] {
      if (auto self = weak.lock()) self->protection_.toggleProtection();
    });
  }
}

bool AppDelegate::applicationShouldHandleReopen(bool /*hasVisibleWindows*/) {
  protection_.toggleProtection();
  return false;  // nothing to open: the click was the toggle
}

TerminateReply AppDelegate::applicationShouldTerminate() {
  if (settings_.enabled()) {
    tell(platform_.alerts, Failure::quitRefusedWhileOn);
    return TerminateReply::cancel;
  }
  intentionalTermination_ = true;
  return TerminateReply::now;
}

void AppDelegate::applicationWillTerminate() {
  caffeinate_.stopCaffeinate();
  if (intentionalTermination_) watchdog_.unregisterWatchdog();
}

void AppDelegate::turnOffAndQuit() {
  if (!protection_.setProtection(false)) return;
  intentionalTermination_ = true;
  watchdog_.unregisterWatchdog();
  platform_.application.terminate();
}

void AppDelegate::restoreAndQuit() {
  // Nested in a switch's Touch ID wait, a restore would be undone by the switch finishing after it.
  if (protection_.isSwitchInProgress()) return;
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
  if (told(remoteMode_.askRestorePassword(password)) && protection_.setProtection(false) &&
      told(remoteMode_.restoreRemoteSettings(std::move(password))) && permission_.removeLimitedPermission()) {
    intentionalTermination_ = true;
    watchdog_.unregisterWatchdog();
    platform_.application.terminate();
    return;
  }
  tell(platform_.alerts, Failure::restoreIncomplete);
}

}  // namespace corvel
