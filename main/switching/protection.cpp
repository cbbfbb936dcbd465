// Switching protection on and off, one switch at a time, choosing the mode, and re-applying the
// stored state.
#include "protection.h"

namespace corvel {

Outcome Protection::setProtection(bool on) {
  if (isChangingState_) return Failure::switchInProgress;
  isChangingState_ = true;
  // Every way out tells the failure while the guard still holds, then clears it, then redraws.
  const auto finish = [this](Outcome outcome) {
    if (const auto failure = outcome.failure()) observer_.failed(*failure);
    isChangingState_ = false;
    observer_.changed();
    return outcome;
  };

  const ModeTraits& mode = traits(settings_.mode());
  // Off already, and the Mac agrees: nothing is switched, so there is nothing to confirm.
  const auto offAlready = [&] { return !on && !settings_.enabled() && sleepSwitch_.readSleepDisabled() == false; };

  bool storedAhead = false;
  if (mode.forbidsSystemSleep && !offAlready()) {
    const bool hasPermission = permission_.hasLimitedPermission();
    // Only switching on sets the Mac up. Switching off with the set-up would switch the screen lock
    // off and install the rule again on the way out, and a cancel would leave no way to quit.
    const Outcome setUp = on && !hasPermission ? remoteMode_.setupRemoteMode() : Done;
    if (!setUp) return finish(setUp);
    const Outcome confirmed = mode.needsTouchID ? confirmations_.authenticateWithTouchID() : Done;
    if (!confirmed) return finish(confirmed);
    if (!on && !hasPermission) {
      // Without the rule, sleep is allowed through one administrator approval for that one command;
      // a cancel is the user's own answer and needs no alert.
      if (sleepSwitch_.isSleepDisabled()) {
        const AdministratorScriptOutcome outcome = permission_.allowSleepWithApproval();
        if (outcome == AdministratorScriptOutcome::cancelled) return finish(Failure::cancelled);
        if (outcome != AdministratorScriptOutcome::succeeded || !sleepSwitch_.waitForSleepDisabled(false)) {
          return finish(Failure::sleepSwitchFailed);
        }
      }
    } else {
      // Switching on, the wanted state is stored before sleep is forbidden: a Corvel killed in
      // between comes back on and finishes the switch, where the other order would show off on a Mac
      // that can no longer sleep. Switching off keeps the other order, since coming back never allows
      // sleep again by itself: killed in between, Corvel comes back on, as it was.
      const bool wasEnabled = settings_.enabled();
      storedAhead = on;
      if (storedAhead) settings_.setEnabled(true);
      if (!sleepSwitch_.runPrivilegedPmset(on) || !sleepSwitch_.waitForSleepDisabled(on)) {
        if (storedAhead) settings_.setEnabled(wasEnabled);
        return finish(Failure::sleepSwitchFailed);
      }
    }
  }
  if (!storedAhead) settings_.setEnabled(on);
  if (on) {
    caffeinate_.startCaffeinateIfNeeded();
  } else {
    caffeinate_.stopCaffeinate();
  }
  return finish(Done);
}

Outcome Protection::switchOffUnasked() {
  if (isChangingState_) return Failure::switchInProgress;
  isChangingState_ = true;
  Outcome outcome = Done;
  if (traits(settings_.mode()).forbidsSystemSleep && sleepSwitch_.readSleepDisabled() != false) {
    const bool allowed = permission_.hasLimitedPermission() && sleepSwitch_.runPrivilegedPmset(false) &&
                         sleepSwitch_.waitForSleepDisabled(false);
    if (!allowed) outcome = Failure::sleepNotAllowedAgain;
  }
  settings_.setEnabled(false);
  caffeinate_.stopCaffeinate();
  isChangingState_ = false;
  observer_.changed();
  return outcome;
}

void Protection::toggleProtection() {
  if (isChangingState_) return;
  static_cast<void>(setProtection(!settings_.enabled()));  // the observer has been told
}

Outcome Protection::selectMode(ProtectionMode mode) {
  if (isChangingState_) return Failure::switchInProgress;
  if (settings_.mode() == mode) return Done;
  // A mode that changes the Mac is set up on the way in; any other puts back what the last one changed.
  const ModeTraits& wanted = traits(mode);
  const Outcome ready = wanted.forbidsSystemSleep || wanted.disablesScreenLock ? remoteMode_.setupRemoteMode()
                                                                               : remoteMode_.restoreRemoteSettings();
  if (!ready) {
    observer_.failed(*ready.failure());
    return ready;
  }
  settings_.setMode(mode);
  applyStoredState();
  observer_.changed();
  return Done;
}

void Protection::applyStoredState() {
  if (!settings_.enabled()) {
    // Never switches system sleep back on: that is for the restore, with the user's consent.
    caffeinate_.stopCaffeinate();
    return;
  }
  caffeinate_.startCaffeinateIfNeeded();
  if (traits(settings_.mode()).forbidsSystemSleep && permission_.hasLimitedPermission()) {
    sleepSwitch_.runPrivilegedPmset(true);
  }
}

}  // namespace corvel
