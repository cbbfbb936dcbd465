// Setting the Mac up for remote strong mode, and putting it back.
#include "remote_mode.h"

#include "support/decimal.h"

namespace corvel {

ScreenLockState decodePreviousScreenLockState(const std::optional<std::string>& stored) {
  // Out of range for a 64-bit number, or not a number at all: not a delay the tool could have given.
  const auto value = stored ? parseDecimal(*stored, /*allowSign=*/true) : std::nullopt;
  // No delay at all means at once. The tool reads a zero delay back as immediate, so restoring it as
  // a delay could never be confirmed and the lock would stay off for good.
  if (!value || *value <= 0 || *value > MaximumScreenLockDelay) return ScreenLockState::immediate();
  return ScreenLockState::delay(*value);
}

Outcome RemoteMode::setupRemoteMode() {
  AlertRequest confirmation{
      "リモート強制モードを設定します",
      "このモードは画面ロックを無効にします。第三者がMacを直接操作できない安全な場所でのみ使用して"
      "ください。初回のみMacのログインパスワードが必要です。",
      AlertStyle::warning,
      {"設定する", "キャンセル"},
      std::nullopt};
  if (alerts_.runModal(confirmation).pressedButton != 0u) return Failure::cancelled;

  const ScreenLockState before = screenLock_.screenLockState();
  std::optional<SecretText> password;
  if (before != ScreenLockState::off()) {
    password = confirmations_.requestLoginPassword("画面ロック防止を設定します");
    if (!password) return Failure::cancelled;
    if (!confirmations_.verifyLoginPassword(password->text())) return Failure::setupPasswordWrong;
  }

  const bool hadPermission = permission_.hasLimitedPermission();
  if (!hadPermission && !permission_.installLimitedPermission()) {
    // A rule that landed but does not work now (sudo may refuse it for a broken file beside it)
    // would start granting once that is mended, for a set-up that never completed.
    permission_.removeLimitedPermission();
    return Failure::permissionNotInstalled;
  }

  if (password) {
    // Recorded before the change, so that a Corvel killed in the middle of it still knows what to put
    // back; taken back below if the lock did not go off after all.
    const ScreenLockState previous = normalizedPreviousLockState(before);
    defaults_.setString(keys::previousScreenLockState, previous.sysadminctlValue());
    defaults_.setBoolean(keys::didDisableScreenLock, true);
    if (!screenLock_.applyScreenLockState(ScreenLockState::off(), password->text())) {
      if (screenLock_.screenLockState() != ScreenLockState::off()) {
        defaults_.remove(keys::didDisableScreenLock);
        defaults_.remove(keys::previousScreenLockState);
      }
      // Take back only what this run added; a permission that was there before stays.
      if (!hadPermission) permission_.removeLimitedPermission();
      return Failure::screenLockNotDisabled;
    }
  }
  if (screenLock_.screenLockState() != ScreenLockState::off()) return Failure::screenLockStillOn;
  return Done;
}

Outcome RemoteMode::restoreRemoteSettings() { return restoreRemoteSettings(std::nullopt); }

Outcome RemoteMode::askRestorePassword(std::optional<SecretText>& password) {
  password.reset();
  if (!shouldRestoreScreenLock(defaults_.boolean(keys::didDisableScreenLock), screenLock_.screenLockState())) {
    return Done;
  }
  return requestRestorePassword(password);
}

Outcome RemoteMode::requestRestorePassword(std::optional<SecretText>& password) {
  password = confirmations_.requestLoginPassword("画面ロック設定を元に戻します");
  if (!password) return Failure::cancelled;
  if (confirmations_.verifyLoginPassword(password->text())) return Done;
  password.reset();
  return Failure::restorePasswordWrong;
}

Outcome RemoteMode::restoreRemoteSettings(std::optional<SecretText> password) {
  const ScreenLockState current = screenLock_.screenLockState();
  const bool changedByApp = defaults_.boolean(keys::didDisableScreenLock);
  const bool restoreLock = shouldRestoreScreenLock(changedByApp, current);
  // Asked before anything changes: a cancel or a wrong password must leave sleep forbidden where it
  // was, or the stored state would say on while the Mac may sleep.
  if (restoreLock && !password) {
    if (const Outcome asked = requestRestorePassword(password); !asked) return asked;
  }
  // A switch that cannot be read may still forbid sleep: that is no restore to report as done.
  const auto sleepDisabled = sleepSwitch_.readSleepDisabled();
  if (!sleepDisabled) return Failure::sleepSwitchUnreadable;
  const bool allowedHere = *sleepDisabled && permission_.hasLimitedPermission();
  if (allowedHere && !sleepSwitch_.runPrivilegedPmset(false)) return Failure::sleepNotAllowedAgain;
  if (restoreLock) {
    const ScreenLockState target = decodePreviousScreenLockState(defaults_.string(keys::previousScreenLockState));
    if (!screenLock_.applyScreenLockState(target, password->text())) {
      // For the same reason, sleep is forbidden again when the lock could not be put back.
      if (allowedHere) sleepSwitch_.runPrivilegedPmset(true);
      return Failure::screenLockNotRestored;
    }
    defaults_.remove(keys::didDisableScreenLock);
    defaults_.remove(keys::previousScreenLockState);
    return Done;
  }
  if (changedByApp) {
    // The user switched the lock back on by hand: nothing of ours is left to restore.
    defaults_.remove(keys::didDisableScreenLock);
    defaults_.remove(keys::previousScreenLockState);
  }
  return Done;
}

}  // namespace corvel
