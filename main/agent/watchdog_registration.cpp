// Registering and unregistering CorvelWatchdog, and telling the person of a failed registration
// they can put right; CORVEL_SKIP_SERVICE=1 leaves the agent alone.
#include "watchdog_registration.h"

#include <string>

#include "main/command_line.h"
#include "support/identity.h"

namespace corvel {

void WatchdogRegistration::registerWatchdogIfNeeded() {
  if (isSwitchOn(environment_.variable(SkipServiceVariable))) return;
  auto service = agents_.agentServiceWithPlistName(watchdogPlistName);
  if (service->status() == AgentStatus::enabled) return;
  failure_ = service->registerAgentReturningFailure();
  // The error need not name the reason (field reports show a bare "Operation not permitted"); the
  // status the system reports afterwards does.
  if (failure_ == AgentRegistrationFailure::other && service->status() == AgentStatus::requiresApproval) {
    failure_ = AgentRegistrationFailure::requiresApproval;
  }
}

void WatchdogRegistration::reportRegistrationFailure() {
  if (reported_ || !failure_) return;
  std::string whatToDo;
  switch (*failure_) {
    case AgentRegistrationFailure::requiresApproval:
      whatToDo =
          "システム設定 › 一般 › ログイン項目でCorvelのバックグラウンド実行を許可し、Corvelを開き直してください。";
      break;
    case AgentRegistrationFailure::invalidSignature:
      whatToDo =
          "Corvelの署名が受け付けられませんでした。「OFFにして終了」で終了してから開き直し、システム設定 › 一般 › "
          "ログイン項目でCorvelが許可されているか確認してください。";
      break;
    case AgentRegistrationFailure::other:
      return;
  }
  reported_ = true;
  alerts_.runModal({"自動再起動を登録できませんでした", whatToDo, AlertStyle::warning, {}, std::nullopt});
}

void WatchdogRegistration::unregisterWatchdog() {
  if (isSwitchOn(environment_.variable(SkipServiceVariable))) return;
  auto service = agents_.agentServiceWithPlistName(watchdogPlistName);
  if (service->status() == AgentStatus::enabled) service->unregisterAgent();
}

}  // namespace corvel
