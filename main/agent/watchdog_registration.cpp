// Registering and unregistering CorvelWatchdog, and which failed registration the person can put
// right; CORVEL_SKIP_SERVICE=1 leaves the agent alone.
#include "watchdog_registration.h"

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

std::optional<Failure> WatchdogRegistration::failureToReport() {
  if (reported_ || !failure_) return std::nullopt;
  std::optional<Failure> told;
  switch (*failure_) {
    case AgentRegistrationFailure::requiresApproval:
      told = Failure::watchdogNeedsApproval;
      break;
    case AgentRegistrationFailure::invalidSignature:
      told = Failure::watchdogSignatureRefused;
      break;
    case AgentRegistrationFailure::other:
      return std::nullopt;
  }
  reported_ = true;
  return told;
}

void WatchdogRegistration::unregisterWatchdog() {
  if (isSwitchOn(environment_.variable(SkipServiceVariable))) return;
  auto service = agents_.agentServiceWithPlistName(watchdogPlistName);
  if (service->status() == AgentStatus::enabled) service->unregisterAgent();
}

}  // namespace corvel
