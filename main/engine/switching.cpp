// Switching protection on and off, one switch at a time, and re-applying the stored state.
#include "main/app_delegate.h"

namespace corvel {

bool AppDelegate::setProtection(bool on) {
  if (isChangingState) return false;
  isChangingState = true;
  // Every way out clears the guard first, then redraws, then answers.
  const auto finish = [this](bool result) {
    isChangingState = false;
    refreshStatus();
    return result;
  };

  if (mode() == ProtectionMode::remoteStrong) {
    if (!hasLimitedPermission() && !setupRemoteMode()) return finish(false);
    if (!authenticateWithTouchID()) return finish(false);
    if (!runPrivilegedPmset(on) || !waitForSleepDisabled(on)) {
      showAlert("切り替えできませんでした", "強制スリープ設定を変更できませんでした。", AlertStyle::warning);
      return finish(false);
    }
  }
  setEnabled(on);
  if (on) {
    startCaffeinateIfNeeded();
  } else {
    stopCaffeinate();
  }
  return finish(true);
}

void AppDelegate::toggleProtection() {
  if (isChangingState) return;
  setProtection(!enabled());
}

void AppDelegate::applyStoredState() {
  if (!enabled()) {
    // Never switches system sleep back on: that is for the restore, with the user's consent.
    stopCaffeinate();
    return;
  }
  startCaffeinateIfNeeded();
  if (mode() == ProtectionMode::remoteStrong && hasLimitedPermission()) runPrivilegedPmset(true);
}

}  // namespace corvel
