// Setting the Mac up for remote strong mode, and putting it back.
#include "remote_mode.h"

#include "main/app_delegate.h"

namespace corvel {

ScreenLockState decodePreviousScreenLockState(const std::optional<std::string>& stored) {
  if (!stored || *stored == "off") return ScreenLockState::immediate();
  const std::string& text = *stored;
  std::size_t i = (!text.empty() && (text[0] == '+' || text[0] == '-')) ? 1 : 0;
  if (i == text.size()) return ScreenLockState::immediate();
  std::int64_t value = 0;
  const bool negative = text[0] == '-';
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return ScreenLockState::immediate();
    const int digit = text[i] - '0';
    // Out of range for a 64-bit number: not a number the tool could ever have given.
    if (value > (INT64_MAX - digit) / 10) return ScreenLockState::immediate();
    value = value * 10 + digit;
  }
  // No delay at all means at once. The tool reads a zero delay back as immediate, so restoring it as
  // a delay could never be confirmed and the lock would stay off for good.
  if (negative || value == 0) return ScreenLockState::immediate();
  return ScreenLockState::delay(value);
}

bool AppDelegate::setupRemoteMode() {
  AlertRequest confirmation{"リモート強制モードを設定します",
                            "このモードは画面ロックを無効にします。第三者がMacを直接操作できない安全な場所でのみ使用して"
                            "ください。初回のみMacのログインパスワードが必要です。",
                            AlertStyle::warning,
                            {"設定する", "キャンセル"},
                            std::nullopt};
  if (platform_.alerts.runModal(confirmation).response != AlertFirstButtonReturn) return false;

  const ScreenLockState before = screenLockState();
  std::optional<SecretText> password;
  if (before != ScreenLockState::off()) {
    password = requestLoginPassword("画面ロック防止を設定します");
    if (!password) return false;
    if (!verifyLoginPassword(password->text())) {
      showAlert("パスワードが一致しません", "Apple Accountではなく、Macへのログインに使うパスワードを入力してください。",
                AlertStyle::warning);
      return false;
    }
  }

  const bool hadPermission = hasLimitedPermission();
  if (!hadPermission && !installLimitedPermission()) return false;

  if (password) {
    const ScreenLockState previous = normalizedPreviousLockState(before);
    if (!applyScreenLockState(ScreenLockState::off(), password->text())) {
      // Take back only what this run added; a permission that was there before stays.
      if (!hadPermission) removeLimitedPermission();
      showAlert("ロック防止を設定できませんでした", "macOSの画面ロック設定を変更できませんでした。", AlertStyle::warning);
      return false;
    }
    defaults.setString(keys::previousScreenLockState, previous.sysadminctlValue());
    defaults.setBoolean(keys::didDisableScreenLock, true);
  }
  return screenLockState() == ScreenLockState::off();
}

bool AppDelegate::restoreRemoteSettings() {
  if (isSleepDisabled() && hasLimitedPermission()) {
    if (!runPrivilegedPmset(false)) return false;
  }
  const ScreenLockState current = screenLockState();
  const bool changedByApp = defaults.boolean(keys::didDisableScreenLock);
  if (shouldRestoreScreenLock(changedByApp, current)) {
    const ScreenLockState target = decodePreviousScreenLockState(defaults.string(keys::previousScreenLockState));
    const auto password = requestLoginPassword("画面ロック設定を元に戻します");
    if (!password) return false;
    if (verifyLoginPassword(password->text()) && applyScreenLockState(target, password->text())) {
      defaults.remove(keys::didDisableScreenLock);
      defaults.remove(keys::previousScreenLockState);
      return true;
    }
    showAlert("設定を戻せませんでした", "Macのログインパスワードと画面ロック設定を確認してください。", AlertStyle::warning);
    return false;
  }
  if (changedByApp) {
    // The user switched the lock back on by hand: nothing of ours is left to restore.
    defaults.remove(keys::didDisableScreenLock);
    defaults.remove(keys::previousScreenLockState);
  }
  return true;
}

}  // namespace corvel
