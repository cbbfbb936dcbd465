// Keeping CorvelWatchdog registered as the per-user launch agent while Corvel is meant to run.
#include "main/app_delegate.h"
#include "main/command_line.h"
#include "main/identity.h"

namespace corvel {

void AppDelegate::registerWatchdogIfNeeded() {
  if (isSwitchOn(platform_.environment.variable(SkipServiceVariable))) return;
  auto service = platform_.agents.agentServiceWithPlistName(watchdogPlistName);
  if (service->status() == AgentStatus::enabled) return;
  // A failure (for instance, awaiting the user's approval) is retried at the next launch.
  service->registerAgent();
}

void AppDelegate::unregisterWatchdog() {
  if (isSwitchOn(platform_.environment.variable(SkipServiceVariable))) return;
  auto service = platform_.agents.agentServiceWithPlistName(watchdogPlistName);
  if (service->status() == AgentStatus::enabled) service->unregisterAgent();
}

}  // namespace corvel
