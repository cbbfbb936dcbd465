// Touch ID confirmation, and asking for the login password and checking it with the directory
// service before anything changes.
#include "confirmations.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace corvel {

constexpr std::chrono::milliseconds TouchIDPollInterval{50};

Outcome Confirmations::authenticateWithTouchID() {
  auto context = biometrics_.makeContext();
  context->setLocalizedCancelTitle("キャンセル");
  context->setLocalizedFallbackTitle("");  // fingerprint only: no way round it with a password
  if (!context->canEvaluateBiometrics()) return Failure::touchIDUnavailable;
  // The reply comes on the service's thread and writes its result under the lock, so the wait sees
  // it whole. A mutex and a condition variable rather than std::binary_semaphore, which some Xcode
  // libc++ versions mark unavailable below the macOS they first shipped it for.
  struct Reply {
    std::mutex mutex;
    std::condition_variable signalled;
    bool replied = false;
    bool success = false;
  };
  auto reply = std::make_shared<Reply>();
  context->evaluateBiometrics("リモート強制モードを切り替えます", [reply](bool success) {
    {
      const std::lock_guard lock(reply->mutex);
      reply->success = success;
      reply->replied = true;
    }
    reply->signalled.notify_one();
  });
  // Keep the interface alive while the prompt is up: clicks, menu actions and the refresh timer run
  // nested in here, and the switch guard keeps a second switch from starting. The lock is never held
  // while the loop turns, since the reply may come from within it, on this thread.
  const auto replied = [&reply] {
    std::unique_lock lock(reply->mutex);
    return reply->signalled.wait_for(lock, TouchIDPollInterval, [&reply] { return reply->replied; });
  };
  while (!replied()) application_.runOnce(TouchIDPollInterval);
  if (!reply->success) return Failure::touchIDRejected;
  return Done;
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
