// AppDelegate: the one object that owns Corvel's run-time state and carries out every operation.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ports/platform.h"
#include "settings.h"

namespace corvel {

// Operations are public so that tests can drive each of them through the ports; the platform only
// ever reaches the delegate callbacks and the menu and timer actions.
class AppDelegate : public ApplicationDelegate, public std::enable_shared_from_this<AppDelegate> {
 public:
  explicit AppDelegate(Platform& platform);
  AppDelegate(const AppDelegate&) = delete;
  AppDelegate& operator=(const AppDelegate&) = delete;

  // Settings (never cached: the store is the single source of truth)
  ProtectionMode mode() const;
  void setMode(ProtectionMode mode);
  bool enabled() const;
  void setEnabled(bool on);

  // Application callbacks
  void applicationDidFinishLaunching() override;
  bool applicationShouldHandleReopen(bool hasVisibleWindows) override;
  TerminateReply applicationShouldTerminate() override;
  void applicationWillTerminate() override;

  // Child process runner
  ProcessResult runProcess(const std::string& executable, const std::vector<std::string>& arguments);
  ProcessResult runProcessWithInput(const std::string& executable, const std::vector<std::string>& arguments,
                                    const std::string& input);

  // Caffeinate supervisor
  void startCaffeinateIfNeeded();
  void stopCaffeinate();
  // The supervised child exists and is running.
  bool isCaffeinateRunning();

  // System sleep switch
  bool runPrivilegedPmset(bool disableSleep);
  bool isSleepDisabled();
  bool waitForSleepDisabled(bool wanted, double timeoutSeconds = 3.0);

  // Screen lock
  ScreenLockState screenLockState();
  bool isSessionLocked();
  bool applyScreenLockState(const ScreenLockState& state, const std::string& password);

  // Limited sudo permission
  bool runAdministratorAppleScript(const std::string& command);
  bool installLimitedPermission();
  bool removeLimitedPermission();
  bool hasLimitedPermission();

  // Confirmations: Touch ID and the login password
  bool authenticateWithTouchID();
  // The typed text when the user pressed the first button, exactly as typed; none otherwise.
  std::optional<SecretText> requestLoginPassword(const std::string& reason);
  bool verifyLoginPassword(const std::string& password);

  // Remote strong mode set-up and restore
  bool setupRemoteMode();
  bool restoreRemoteSettings();

  // Protection switching
  bool setProtection(bool on);
  void toggleProtection();
  void applyStoredState();
  bool isSwitchInProgress() const { return isChangingState; }

  // Status display and alerts
  void refreshStatus();
  void showAlert(const std::string& title, const std::string& message, AlertStyle style);
  Drawing makeDockIcon(bool enabled, bool locked);

  // Status item and menu
  void configureStatusItem();
  void statusItemClicked();
  void toggleFromMenu();
  void selectStandardMode();
  void selectRemoteMode();

  // Quitting
  void turnOffAndQuit();
  void restoreAndQuit();
  bool isTerminationIntentional() const { return intentionalTermination; }

  // Watchdog registration
  void registerWatchdogIfNeeded();
  void unregisterWatchdog();

 private:
  void updateDockIcon(bool effectivelyOn, bool sessionLocked);
  void adoptRecordedCaffeinate();

  Platform& platform_;

  // Run-time state, in this order.
  SettingsStore& defaults;
  std::shared_ptr<StatusItem> statusItem;
  std::shared_ptr<Menu> statusMenu;
  std::shared_ptr<MenuItem> statusLine;
  std::shared_ptr<MenuItem> toggleItem;
  std::shared_ptr<MenuItem> standardModeItem;
  std::shared_ptr<MenuItem> remoteModeItem;
  std::shared_ptr<Timer> refreshTimer;
  std::unique_ptr<ChildProcess> caffeinateProcess;
  bool isChangingState = false;
  bool intentionalTermination = false;
};

}  // namespace corvel
