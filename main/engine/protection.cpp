// Switching protection on and off, one switch at a time, and re-applying the stored state.
#include "protection.h"

#include "main/menubar/alert.h"

namespace corvel {

bool Protection::setProtection(bool on) {
  if (isChangingState_) return false;
  isChangingState_ = true;
  // Every way out clears the guard first, then redraws, then answers.
  const auto finish = [this](bool result) {
    isChangingState_ = false;
    display_.refreshStatus();
    return result;
  };

  const auto refused = [&] {
    showAlert(alerts_, "切り替えできませんでした", "強制スリープ設定を変更できませんでした。");
    return finish(false);
  };
  // Off already, and the Mac agrees: nothing is switched, so there is nothing to confirm.
  const auto offAlready = [&] { return !on && !settings_.enabled() && sleepSwitch_.readSleepDisabled() == false; };

  bool storedAhead = false;
  if (settings_.mode() == ProtectionMode::remoteStrong && !offAlready()) {
    const bool hasPermission = permission_.hasLimitedPermission();
    // Only switching on sets the Mac up. Switching off with the set-up would switch the screen lock
    // off and install the rule again on the way out, and a cancel would leave no way to quit.
    if (on && !hasPermission && !remoteMode_.setupRemoteMode()) return finish(false);
    if (!confirmations_.authenticateWithTouchID()) return finish(false);
    if (!on && !hasPermission) {
      // Without the rule, sleep is allowed through one administrator approval for that one command;
      // a cancel is the user's own answer and needs no alert.
      if (sleepSwitch_.isSleepDisabled()) {
        const AdministratorScriptOutcome outcome = permission_.allowSleepWithApproval();
        if (outcome == AdministratorScriptOutcome::cancelled) return finish(false);
        if (outcome != AdministratorScriptOutcome::succeeded || !sleepSwitch_.waitForSleepDisabled(false)) {
          return refused();
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
        return refused();
      }
    }
  }
  if (!storedAhead) settings_.setEnabled(on);
  if (on) {
    caffeinate_.startCaffeinateIfNeeded();
  } else {
    caffeinate_.stopCaffeinate();
  }
  return finish(true);
}

void Protection::toggleProtection() {
  if (isChangingState_) return;
  setProtection(!settings_.enabled());
}

void Protection::applyStoredState() {
  if (!settings_.enabled()) {
    // Never switches system sleep back on: that is for the restore, with the user's consent.
    caffeinate_.stopCaffeinate();
    return;
  }
  caffeinate_.startCaffeinateIfNeeded();
  if (settings_.mode() == ProtectionMode::remoteStrong && permission_.hasLimitedPermission()) {
    sleepSwitch_.runPrivilegedPmset(true);
  }
}

}  // namespace corvel
