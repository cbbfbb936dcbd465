// The verified state of protection for a person or a script at a distance: read from the system
// itself, judged, and told in Japanese or as one JSON line.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

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
};

// The readings, each taken from the system as Corvel itself takes it, without changing anything.
class StatusReport {
 public:
  explicit StatusReport(StatusPlatform& platform) : platform_(platform) {}
  StatusReadings read();

 private:
  StatusPlatform& platform_;
};

enum class Verdict { protected_, degraded, off };

// In the order the report lists them.
enum class ReportItem { system, settings, corvel, caffeinate, sleepSwitch, screenLock, session, permission, watchdog };

struct StatusAssessment {
  Verdict verdict = Verdict::off;
  std::vector<ReportItem> failing;  // in report order
};

// Protected: on, and everything the mode needs holds. Degraded: on but something needed does not
// hold or cannot be read, the defaults cannot be read, or off with the Mac left changed. Off: off
// and nothing left changed, or no system at all.
StatusAssessment assessStatus(const StatusReadings& readings);

// 0 protected, 1 degraded, 2 off.
int exitStatus(Verdict verdict);

// One compact JSON object, without a line feed, with exactly the documented keys.
std::string statusJson(const StatusReadings& readings, const StatusAssessment& assessment);
// The verdict, then one line per item, failing items first, each with what to do; ends with a line feed.
std::string statusText(const StatusReadings& readings, const StatusAssessment& assessment);

}  // namespace corvel
