// Keeping CorvelWatchdog registered as the per-user launch agent while Corvel is meant to run.
#pragma once

#include <optional>

#include "ports/agent_service.h"
#include "ports/alerts.h"
#include "ports/process_environment.h"

namespace corvel {

class WatchdogRegistration {
 public:
  WatchdogRegistration(AgentServices& agents, ProcessEnvironment& environment, Alerts& alerts)
      : agents_(agents), environment_(environment), alerts_(alerts) {}

  // A failure (for instance, awaiting the user's approval) is retried at the next launch.
  void registerWatchdogIfNeeded();
  void unregisterWatchdog();

  // Tells the person, in one alert, of a failed registration they can put right (the background
  // item not approved, the signature refused), at most once for the life of this object, that is,
  // of one launch. Any other failure stays silent: Corvel protects as well without the watchdog.
  void reportRegistrationFailure();

 private:
  AgentServices& agents_;
  ProcessEnvironment& environment_;
  Alerts& alerts_;
  std::optional<AgentRegistrationFailure> failure_;
  bool reported_ = false;
};

}  // namespace corvel
