// Keeping CorvelWatchdog registered as the per-user launch agent while Corvel is meant to run.
#pragma once

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

 private:
  AgentServices& agents_;
  ProcessEnvironment& environment_;
};

}  // namespace corvel
