// Switching protection on and off, one switch at a time, and re-applying the stored state.
#pragma once

#include "main/engine/caffeinate_supervisor.h"
#include "main/engine/sleep_switch.h"
#include "main/menubar/status_display.h"
#include "main/remote/confirmations.h"
#include "main/remote/limited_permission.h"
#include "main/remote/remote_mode.h"
#include "main/settings.h"
#include "ports/alerts.h"

namespace corvel {

class Protection {
 public:
  Protection(Settings& settings, SleepSwitch& sleepSwitch, LimitedPermission& permission, RemoteMode& remoteMode,
             Confirmations& confirmations, CaffeinateSupervisor& caffeinate, Alerts& alerts, StatusDisplay& display)
      : settings_(settings),
        sleepSwitch_(sleepSwitch),
        permission_(permission),
        remoteMode_(remoteMode),
        confirmations_(confirmations),
        caffeinate_(caffeinate),
        alerts_(alerts),
        display_(display) {}

  // False, without doing anything, while another switch is in progress (a click nested in the
  // Touch ID wait); otherwise the switch's outcome. Always ends with the status redrawn. Switching
  // off never sets the Mac up, and off already, with sleep allowed, asks nothing.
  bool setProtection(bool on);
  void toggleProtection();
  // At launch: brings the Mac to the stored state without asking anything.
  void applyStoredState();
  bool isSwitchInProgress() const { return isChangingState_; }

 private:
  Settings& settings_;
  SleepSwitch& sleepSwitch_;
  LimitedPermission& permission_;
  RemoteMode& remoteMode_;
  Confirmations& confirmations_;
  CaffeinateSupervisor& caffeinate_;
  Alerts& alerts_;
  StatusDisplay& display_;
  bool isChangingState_ = false;
};

}  // namespace corvel
