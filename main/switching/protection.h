// Switching protection on and off, one switch at a time, choosing the mode, and re-applying the
// stored state.
#pragma once

#include <functional>

#include "main/engine/caffeinate_supervisor.h"
#include "main/engine/sleep_switch.h"
#include "main/outcome.h"
#include "main/remote/confirmations.h"
#include "main/remote/limited_permission.h"
#include "main/remote/remote_mode.h"
#include "main/settings.h"

namespace corvel {

// Whoever shows the state: told of a failure while the switch still holds its guard, and then that
// the state may have changed.
struct ProtectionObserver {
  std::function<void(Failure)> failed;
  std::function<void()> changed;
};

class Protection {
 public:
  Protection(Settings& settings, SleepSwitch& sleepSwitch, LimitedPermission& permission, RemoteMode& remoteMode,
             Confirmations& confirmations, CaffeinateSupervisor& caffeinate, ProtectionObserver observer)
      : settings_(settings),
        sleepSwitch_(sleepSwitch),
        permission_(permission),
        remoteMode_(remoteMode),
        confirmations_(confirmations),
        caffeinate_(caffeinate),
        observer_(std::move(observer)) {}

  // Nothing at all while another switch is in progress (a click nested in the Touch ID wait);
  // otherwise the switch's outcome, told to the observer, which is then told of the change. Switching
  // off never sets the Mac up, and off already, with sleep allowed, asks nothing.
  Outcome setProtection(bool on);
  void toggleProtection();
  // A mode is taken only once the Mac is set up for it (or put back from the other). During a switch
  // it does nothing, as a nested switch does: the switch would finish in the other mode.
  Outcome selectMode(ProtectionMode mode);
  // Switches off without asking anything: the safe direction, consented to when the limit that calls
  // for it was set. Sleep is allowed again only through the limited rule, never with a prompt nobody
  // would answer; the screen lock is left as it is (putting it back needs the password). Off is
  // stored whatever the Mac did; the outcome says whether sleep is allowed again. Nothing at all
  // during another switch.
  Outcome switchOffUnasked();
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
  ProtectionObserver observer_;
  bool isChangingState_ = false;
};

}  // namespace corvel
