// What the status check reads from the Mac: each item taken as Corvel itself takes it, through the
// same collaborators, and nothing changed.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

#include "main/safety/guard_settings.h"
#include "main/settings.h"
#include "ports/agent_service.h"
#include "ports/status_platform.h"

namespace corvel {

// What the system said; none where it could not be read.
struct StatusReadings {
  std::optional<std::string> missingSystemFolder;  // set: nothing else was read
  std::optional<ProtectionMode> mode;              // mode and enabled: none when the defaults are unreadable
  std::optional<bool> enabled;
  std::optional<bool> corvelRunning;
  std::optional<pid_t> caffeinatePid;  // the recorded child, when it still runs exactly caffeinate -d -i -m -s
  std::optional<bool> sleepDisabled;
  ScreenLockState screenLock = ScreenLockState::unknown();
  std::optional<std::string> previousScreenLock;
  bool screenLockDisabledByCorvel = false;
  std::optional<bool> sessionLocked;
  bool limitedPermission = false;
  std::optional<AgentStatus> watchdog;
  std::optional<bool> watchdogRunning;
  // The safety guard's: the settings and the records none when the defaults are unreadable; the
  // deadline only while a time limit runs.
  std::optional<GuardSettings> guard;
  std::optional<TimePoint> deadline;
  std::optional<BatteryReading> battery;
  std::optional<ThermalState> thermal;
  std::optional<SafetyStop> lastSafetyStop;
  std::optional<Repairs> repairs;

  // Corvel recorded that it switched the screen lock off, in either of its two keys.
  bool recordedScreenLockChange() const { return screenLockDisabledByCorvel || previousScreenLock.has_value(); }
};

StatusReadings readStatus(StatusPlatform& platform);

}  // namespace corvel
