// Keeping CorvelWatchdog registered as the per-user launch agent while Corvel is meant to run.
#pragma once

#include <optional>

#include "main/outcome.h"
#include "ports/agent_service.h"
#include "ports/process_environment.h"

namespace corvel {

class WatchdogRegistration {
 public:
  WatchdogRegistration(AgentServices& agents, ProcessEnvironment& environment)
      : agents_(agents), environment_(environment) {}

  // A failure (for instance, awaiting the user's approval) is retried at the next launch.
  void registerWatchdogIfNeeded();
  void unregisterWatchdog();

  // A failed registration the person can put right (the background item not approved, the signature
  // refused), given at most once for the life of this object, that is, of one launch. Any other
  // failure is none: Corvel protects as well without the watchdog.
  std::optional<Failure> failureToReport();

 private:
  AgentServices& agents_;
  ProcessEnvironment& environment_;
  std::optional<AgentRegistrationFailure> failure_;
  bool reported_ = false;
};

}  // namespace corvel
