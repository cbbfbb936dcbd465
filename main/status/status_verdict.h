// The status check's judgement of what it read: the verdict, and the items that fail it.
#pragma once

#include <vector>

#include "status_readings.h"

namespace corvel {

enum class Verdict { protected_, degraded, off };

// In the order the report lists them. The deadline never fails; a safety stop fails without making a
// verdict degraded, since it left the Mac as switching off does.
enum class ReportItem {
  system,
  settings,
  deadline,
  safetyStop,
  corvel,
  caffeinate,
  sleepSwitch,
  screenLock,
  session,
  permission,
  watchdog
};

struct StatusAssessment {
  Verdict verdict = Verdict::off;
  std::vector<ReportItem> failing;  // in report order: the problems
};

// Protected: on, and everything the mode needs holds. Degraded: on but something needed does not
// hold or cannot be read, the defaults cannot be read, or off with the Mac left changed. Off: off
// and nothing left changed, or no system at all.
StatusAssessment assessStatus(const StatusReadings& readings);

// 0 protected, 1 degraded, 2 off.
int exitStatus(Verdict verdict);

}  // namespace corvel
