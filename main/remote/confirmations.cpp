// Touch ID confirmation, and asking for the login password and checking it with the directory
// service before anything changes.
#include "confirmations.h"

#include <chrono>
#include <memory>
#include <semaphore>

#include "main/menubar/alert.h"

namespace corvel {

bool Confirmations::authenticateWithTouchID() {
  auto context = biometrics_.makeContext();
  context->setLocalizedCancelTitle("キャンセル");
  context->setLocalizedFallbackTitle("");  // fingerprint only: no way round it with a password
  if (!context->canEvaluateBiometrics()) {
    showAlert(alerts_, "Touch IDを使用できません", "システム設定でTouch IDが有効か確認してください。");
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
  while (!reply->signalled.try_acquire_for(std::chrono::milliseconds(50))) application_.runOnce(0.05);
  if (!reply->success) {
    showAlert(alerts_, "Touch IDで認証できませんでした", "認証がキャンセルされたか、指紋を確認できませんでした。");
  }
  return reply->success;
}

std::optional<SecretText> Confirmations::requestLoginPassword(const std::string& reason) {
  AlertRequest request{reason,
                       "入力内容は保存されません。",
                       std::nullopt,
                       {"続ける", "キャンセル"},
                       SecureField{"Macのログインパスワード"}};
  AlertResponse response = alerts_.runModal(request);
  if (response.pressedButton != 0u) return std::nullopt;
  return std::move(response.fieldText);
}

bool Confirmations::verifyLoginPassword(const std::string& password) {
  return directory_.verifyPassword(environment_.userName(), password);
}

}  // namespace corvel
