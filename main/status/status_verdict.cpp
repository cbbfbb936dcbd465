// The status check's judgement of what it read.
#include "status_verdict.h"

#include <algorithm>

namespace corvel {

StatusAssessment assessStatus(const StatusReadings& r) {
  StatusAssessment a;
  if (r.missingSystemFolder) {
    // A Mac where Corvel never ran has nothing on and nothing changed.
    a.failing = {ReportItem::system};
    return a;
  }
  const auto fail = [&](ReportItem item) { a.failing.push_back(item); };
  if (!r.enabled) {
    fail(ReportItem::settings);
  } else if (*r.enabled) {
    if (r.corvelRunning != true) fail(ReportItem::corvel);
    if (!r.caffeinatePid) fail(ReportItem::caffeinate);
    // What the mode needs besides caffeinate: sleep forbidden through the rule, the lock off.
    const ModeTraits& needs = traits(r.mode.value_or(ProtectionMode::standard));
    if (needs.forbidsSystemSleep && r.sleepDisabled != true) fail(ReportItem::sleepSwitch);
    if (needs.disablesScreenLock && r.screenLock != ScreenLockState::off()) fail(ReportItem::screenLock);
    if (needs.forbidsSystemSleep && !r.limitedPermission) fail(ReportItem::permission);
  } else {
    // Told while protection stays off: switching on clears the record.
    if (r.lastSafetyStop) fail(ReportItem::safetyStop);
    // A Mac left open after protection went off is a finding, not "off".
    if (r.sleepDisabled != false) fail(ReportItem::sleepSwitch);
    const bool maybeOff = r.screenLock == ScreenLockState::off() || r.screenLock == ScreenLockState::unknown();
    if (r.recordedScreenLockChange() && maybeOff) fail(ReportItem::screenLock);
  }
  const bool degraded =
      std::any_of(a.failing.begin(), a.failing.end(), [](ReportItem item) { return item != ReportItem::safetyStop; });
  a.verdict = degraded ? Verdict::degraded : *r.enabled ? Verdict::protected_ : Verdict::off;
  return a;
}

int exitStatus(Verdict verdict) {
  switch (verdict) {
    case Verdict::protected_:
      return 0;
    case Verdict::degraded:
      return 1;
    case Verdict::off:
      return 2;
  }
  return 1;
}

}  // namespace corvel
