// Registering and unregistering CorvelWatchdog; CORVEL_SKIP_SERVICE=1 leaves the agent alone.
#include "watchdog_registration.h"

#include "main/command_line.h"
#include "support/identity.h"

namespace corvel {

void WatchdogRegistration::registerWatchdogIfNeeded() {
  if (isSwitchOn(environment_.variable(SkipServiceVariable))) return;
  auto service = agents_.agentServiceWithPlistName(watchdogPlistName);
  if (service->status() == AgentStatus::enabled) return;
  service->registerAgent();
}

void WatchdogRegistration::unregisterWatchdog() {
  if (isSwitchOn(environment_.variable(SkipServiceVariable))) return;
  auto service = agents_.agentServiceWithPlistName(watchdogPlistName);
  if (service->status() == AgentStatus::enabled) service->unregisterAgent();
}

}  // namespace corvel
