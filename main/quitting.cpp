// Quitting: the guard that refuses while protection is on, the clean-up at exit, and the two quit
// commands of the menu.
#include "main/app_delegate.h"

namespace corvel {

TerminateReply AppDelegate::applicationShouldTerminate() {
  // Every quit request meets this guard, whatever its source: the Dock, a logout, or Corvel itself.
  if (enabled()) {
    showAlert("スリープ防止がONです", "先にアイコンをクリックしてOFFにしてください。", AlertStyle::warning);
    return TerminateReply::cancel;
  }
  intentionalTermination = true;
  return TerminateReply::now;
}

void AppDelegate::applicationWillTerminate() {
  stopCaffeinate();
  if (intentionalTermination) unregisterWatchdog();
}

void AppDelegate::turnOffAndQuit() {
  if (!setProtection(false)) return;
  intentionalTermination = true;
  unregisterWatchdog();
  platform_.application.terminate();
}

void AppDelegate::restoreAndQuit() {
  const AlertRequest confirmation{"Macの設定を元に戻しますか？",
                                  "スリープ防止を解除し、画面ロック設定と追加権限を元に戻してから終了します。",
                                  AlertStyle::warning,
                                  {"元に戻して終了", "キャンセル"},
                                  std::nullopt};
  if (platform_.alerts.runModal(confirmation).response != AlertFirstButtonReturn) return;
  if (setProtection(false) && restoreRemoteSettings() && removeLimitedPermission()) {
    intentionalTermination = true;
    unregisterWatchdog();
    platform_.application.terminate();
    return;
  }
  showAlert("設定を完全に戻せませんでした", "画面の案内を確認し、もう一度お試しください。", AlertStyle::warning);
}

}  // namespace corvel
