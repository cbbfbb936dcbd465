// The alert of every failure, as the person reads it.
#include "failure_alerts.h"

#include <string>

namespace corvel {
namespace {

AlertRequest warning(std::string title, std::string message) {
  return {std::move(title), std::move(message), AlertStyle::warning, {}, std::nullopt};
}

}  // namespace

std::optional<AlertRequest> alertFor(Failure failure) {
  switch (failure) {
    case Failure::cancelled:
    case Failure::switchInProgress:
    // These follow a prompt the system itself showed, or change nothing the person can act on.
    case Failure::permissionNotInstalled:
    case Failure::screenLockStillOn:
    case Failure::sleepSwitchUnreadable:
    case Failure::sleepNotAllowedAgain:
      return std::nullopt;
    case Failure::touchIDUnavailable:
      return warning("Touch IDを使用できません", "システム設定でTouch IDが有効か確認してください。");
    case Failure::touchIDRejected:
      return warning("Touch IDで認証できませんでした", "認証がキャンセルされたか、指紋を確認できませんでした。");
    case Failure::setupPasswordWrong:
      return warning("パスワードが一致しません",
                     "Apple Accountではなく、Macへのログインに使うパスワードを入力してください。");
    case Failure::screenLockNotDisabled:
      return warning("ロック防止を設定できませんでした", "macOSの画面ロック設定を変更できませんでした。");
    case Failure::restorePasswordWrong:
    case Failure::screenLockNotRestored:
      return warning("設定を戻せませんでした", "Macのログインパスワードと画面ロック設定を確認してください。");
    case Failure::sleepSwitchFailed:
      return warning("切り替えできませんでした", "強制スリープ設定を変更できませんでした。");
    case Failure::quitRefusedWhileOn:
      return warning("スリープ防止がONです", "先にアイコンをクリックしてOFFにしてください。");
    case Failure::restoreIncomplete:
      return warning("設定を完全に戻せませんでした", "画面の案内を確認し、もう一度お試しください。");
    case Failure::watchdogNeedsApproval:
      return warning(
          "自動再起動を登録できませんでした",
          "システム設定 › 一般 › ログイン項目でCorvelのバックグラウンド実行を許可し、Corvelを開き直してください。");
    case Failure::watchdogSignatureRefused:
      return warning("自動再起動を登録できませんでした",
                     "Corvelの署名が受け付けられませんでした。「OFFにして終了」で終了してから開き直し、システム設定 › "
                     "一般 › ログイン項目でCorvelが許可されているか確認してください。");
  }
  return std::nullopt;
}

void tell(Alerts& alerts, Failure failure) {
  if (const auto alert = alertFor(failure)) alerts.runModal(*alert);
}

}  // namespace corvel
