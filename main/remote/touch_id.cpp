// Touch ID confirmation of every switch in remote strong mode.
#include <chrono>
#include <semaphore>

#include "main/app_delegate.h"

namespace corvel {

bool AppDelegate::authenticateWithTouchID() {
  auto context = platform_.biometrics.makeContext();
  context->setLocalizedCancelTitle("キャンセル");
  context->setLocalizedFallbackTitle("");  // fingerprint only: no way round it with a password
  if (!context->canEvaluateBiometrics()) {
    showAlert("Touch IDを使用できません", "システム設定でTouch IDが有効か確認してください。", AlertStyle::warning);
    return false;
  }
  // The reply comes on the service's thread; it writes the cell, then signals, so the read after a
  // successful acquire is ordered after the write.
  struct Reply {
    std::binary_semaphore signalled{0};
    bool success = false;
  };
  auto reply = std::make_shared<Reply>();
  context->evaluateBiometrics("リモート強制モードを切り替えます", [reply](bool success) {
    reply->success = success;
    reply->signalled.release();
  });
  // Keep the interface alive while the prompt is up: clicks, menu actions and the refresh timer run
  // nested in here, and the switch guard keeps a second switch from starting.
  while (!reply->signalled.try_acquire_for(std::chrono::milliseconds(50))) platform_.application.runOnce(0.05);
  if (!reply->success) {
    showAlert("Touch IDで認証できませんでした", "認証がキャンセルされたか、指紋を確認できませんでした。", AlertStyle::warning);
  }
  return reply->success;
}

}  // namespace corvel
