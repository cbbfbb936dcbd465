// AppDelegate: the application callbacks, the two quit commands, and the wiring of Corvel's
// collaborators to the platform.
#pragma once

#include <memory>

#include "main/agent/watchdog_registration.h"
#include "main/engine/caffeinate_supervisor.h"
#include "main/engine/sleep_switch.h"
#include "main/menubar/status_display.h"
#include "main/menubar/status_menu.h"
#include "main/remote/confirmations.h"
#include "main/remote/limited_permission.h"
#include "main/remote/remote_mode.h"
#include "main/remote/screen_lock.h"
#include "main/settings.h"
#include "main/switching/protection.h"
#include "ports/platform.h"

namespace corvel {

class AppDelegate : public ApplicationDelegate, public std::enable_shared_from_this<AppDelegate> {
 public:
  explicit AppDelegate(Platform& platform);
  AppDelegate(const AppDelegate&) = delete;
  AppDelegate& operator=(const AppDelegate&) = delete;

  void applicationDidFinishLaunching() override;
  // A click on the Dock tile toggles, as a left click on the status item does.
  bool applicationShouldHandleReopen(bool hasVisibleWindows) override;
  // Every quit request meets this guard, whatever its source: refused while protection is on.
  TerminateReply applicationShouldTerminate() override;
  void applicationWillTerminate() override;

  void turnOffAndQuit();
  void restoreAndQuit();

 private:
  Platform& platform_;
  Settings settings_;
  CaffeinateSupervisor caffeinate_;
  SleepSwitch sleepSwitch_;
  ScreenLock screenLock_;
  LimitedPermission permission_;
  Confirmations confirmations_;
  RemoteMode remoteMode_;
  StatusDisplay display_;
  Protection protection_;
  StatusMenu statusMenu_;
  WatchdogRegistration watchdog_;
  std::shared_ptr<Timer> refreshTimer_;
  bool intentionalTermination_ = false;
};

}  // namespace corvel
