// What the status check reads from the Mac, through the collaborators Corvel reads it with.
#include "status_readings.h"

#include <chrono>
#include <vector>

#include "main/engine/caffeinate_supervisor.h"
#include "main/engine/sleep_switch.h"
#include "main/remote/screen_lock.h"
#include "support/identity.h"

namespace corvel {
namespace {

// Nobody waits on an event loop here, but a monitoring script must get its answer.
constexpr RunLimits StatusReadingLimits{std::chrono::seconds(5), ToolOutputCap};

const std::vector<std::string> DefaultsKeys{std::string(keys::protectionMode),
                                            std::string(keys::protectionEnabled),
                                            std::string(keys::didDisableScreenLock),
                                            std::string(keys::previousScreenLockState),
                                            std::string(keys::caffeinateProcessIdentifier),
                                            std::string(keys::caffeinateProcessIdentity),
                                            std::string(keys::batteryFloor),
                                            std::string(keys::timeLimitMinutes),
                                            std::string(keys::thermalStop),
                                            std::string(keys::repair),
                                            std::string(keys::deadline),
                                            std::string(keys::lastSafetyStopReason),
                                            std::string(keys::lastSafetyStopAt),
                                            std::string(keys::repairCount),
                                            std::string(keys::lastRepairAt)};

DefaultsValue valueOf(const DefaultsSnapshot& snapshot, std::string_view key) {
  const auto it = snapshot.find(key);
  return it == snapshot.end() ? DefaultsValue{} : it->second;
}

}  // namespace

StatusReadings readStatus(StatusPlatform& platform) {
  StatusReadings r;
  // With no system there is nothing to ask, and asking a tool could make its folder.
  if (platform.missingSystemFolder) {
    r.missingSystemFolder = platform.missingSystemFolder;
    return r;
  }
  const ToolPaths& tools = platform.tools;
  if (const auto defaults = platform.defaults.readDefaults(DefaultsKeys)) {
    r.mode = protectionModeFromRawValue(valueOf(*defaults, keys::protectionMode).text.value_or("standard"))
                 .value_or(ProtectionMode::standard);
    r.enabled = valueOf(*defaults, keys::protectionEnabled).boolean;
    r.screenLockDisabledByCorvel = valueOf(*defaults, keys::didDisableScreenLock).boolean;
    r.previousScreenLock = valueOf(*defaults, keys::previousScreenLockState).text;
    const auto child = decodeRecordedChild(valueOf(*defaults, keys::caffeinateProcessIdentifier).text,
                                           valueOf(*defaults, keys::caffeinateProcessIdentity).text);
    // Adopting only checks the process; the handle is dropped and the process left alone.
    if (child && platform.processes.adopt(*child, tools.caffeinate, CaffeinateArguments)) r.caffeinatePid = child->pid;
    const TextOf text = [&](std::string_view key) { return valueOf(*defaults, key).text; };
    r.guard = readGuardSettings(text);
    // A deadline left behind when the limit or protection went off runs no more.
    if (*r.enabled && r.guard->timeLimit) r.deadline = readDeadline(text);
    r.lastSafetyStop = readLastSafetyStop(text);
    r.repairs = readRepairs(text);
  }
  r.corvelRunning = platform.workspace.isApplicationRunning(bundleIdentifier);
  r.sleepDisabled = SleepSwitch(platform.processes, platform.clock, tools, StatusReadingLimits).readSleepDisabled();
  // ScreenLock reads sysadminctl within the same five seconds as every tool here.
  r.screenLock = ScreenLock(platform.processes, platform.session, tools).screenLockState();
  r.sessionLocked = platform.session.screenIsLockedFlag();
  // Lists rather than runs: unlike Corvel's own probe it never touches the sleep switch. -k makes sudo
  // ignore a ticket cached by a password given to sudo in the same terminal (sudo(8)); without it, an
  // administrator's general rule, which needs a password, would list the command as if Corvel's rule
  // were there.
  r.limitedPermission =
      platform.processes
          .run(tools.sudo, {"-n", "-k", "-l", "/usr/bin/pmset", "-a", "disablesleep", "1"}, StatusReadingLimits)
          .exitCode == 0;
  if (const auto agent = platform.agents.agentServiceWithPlistName(watchdogPlistName)) r.watchdog = agent->status();
  r.watchdogRunning = platform.agentProcesses.isAgentRunning(watchdogPlistName);
  r.battery = platform.machine.battery();
  r.thermal = platform.machine.thermalState();
  return r;
}

}  // namespace corvel
