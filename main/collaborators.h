// Corvel's collaborators wired to one platform: the one place the object graph is built, for the
// application and for the tests alike.
#pragma once

#include "main/agent/watchdog_registration.h"
#include "main/engine/caffeinate_supervisor.h"
#include "main/engine/sleep_switch.h"
#include "main/menubar/status_display.h"
#include "main/menubar/status_menu.h"
#include "main/remote/confirmations.h"
#include "main/remote/limited_permission.h"
#include "main/remote/remote_mode.h"
#include "main/remote/screen_lock.h"
#include "main/safety/safety_guard.h"
#include "main/settings.h"
#include "main/switching/protection.h"
#include "ports/platform.h"

namespace corvel {

// Each member refers only to the platform and to members declared before it.
struct Collaborators {
  explicit Collaborators(Platform& platform);
  Collaborators(const Collaborators&) = delete;
  Collaborators& operator=(const Collaborators&) = delete;

  Settings settings;
  CaffeinateSupervisor caffeinate;
  SleepSwitch sleepSwitch;
  ScreenLock screenLock;
  LimitedPermission permission;
  Confirmations confirmations;
  RemoteMode remoteMode;
  StatusDisplay display;
  // Tells a failed switch in an alert, and has every switch redrawn.
  Protection protection;
  SafetyGuard safety;
  StatusMenu statusMenu;
  WatchdogRegistration watchdog;
};

}  // namespace corvel
