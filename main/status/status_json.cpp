// The status check told to a script: one JSON object, with a short English sentence per problem.
#include "status_report.h"

#include "support/json.h"

namespace corvel {
namespace {

std::string_view verdictName(Verdict verdict) {
  switch (verdict) {
    case Verdict::protected_:
      return "protected";
    case Verdict::degraded:
      return "degraded";
    case Verdict::off:
      return "off";
  }
  return "degraded";
}

std::string_view agentStatusName(AgentStatus status) {
  switch (status) {
    case AgentStatus::enabled:
      return "enabled";
    case AgentStatus::requiresApproval:
      return "requiresApproval";
    case AgentStatus::notRegistered:
      return "notRegistered";
    case AgentStatus::notFound:
      return "notFound";
  }
  return "notFound";
}

std::string_view thermalName(ThermalState state) {
  switch (state) {
    case ThermalState::nominal:
      return "nominal";
    case ThermalState::fair:
      return "fair";
    case ThermalState::serious:
      return "serious";
    case ThermalState::critical:
      return "critical";
  }
  return "nominal";
}

template <class T, class Json>
std::string orNull(const std::optional<T>& value, Json json) {
  return value ? json(*value) : JsonNull;
}

std::string timeJson(TimePoint time) { return jsonString(isoTime(time)); }

std::string guardJson(const GuardSettings& g) {
  return JsonObject()
      .member("batteryFloor", orNull(g.batteryFloor, [](int percent) { return std::to_string(percent); }))
      .member("timeLimitMinutes", orNull(g.timeLimit, [](std::chrono::minutes m) { return std::to_string(m.count()); }))
      .member("thermalStop", jsonBool(g.thermalStop))
      .member("repair", jsonBool(g.repair))
      .text();
}

std::string batteryJson(const BatteryReading& b) {
  return JsonObject()
      .member("percent", std::to_string(b.percent))
      .member("source", jsonString(b.onBattery ? "battery" : "ac"))
      .text();
}

std::string stopJson(const SafetyStop& stop) {
  return JsonObject().member("reason", jsonString(rawValue(stop.reason))).member("at", timeJson(stop.at)).text();
}

std::string repairsJson(const Repairs& repairs) {
  return JsonObject()
      .member("count", std::to_string(repairs.count))
      .member("last", orNull(repairs.last, timeJson))
      .text();
}

std::string_view stopCause(StopReason reason) {
  switch (reason) {
    case StopReason::timeLimit:
      return "the time limit was reached.";
    case StopReason::battery:
      return "the battery fell to its floor.";
    case StopReason::thermal:
      return "the Mac ran critically hot.";
  }
  return "";
}

std::string screenLockName(const ScreenLockState& state) {
  return state == ScreenLockState::unknown() ? "unknown" : state.sysadminctlValue();
}

std::string problem(ReportItem item, const StatusReadings& r) {
  const bool on = r.enabled == true;
  switch (item) {
    case ReportItem::system:
      return "The Mac's folder " + r.missingSystemFolder.value_or("") + " does not exist; nothing was read.";
    case ReportItem::settings:
      return "Corvel's settings cannot be read; they were left as they are.";
    case ReportItem::corvel:
      return r.corvelRunning ? "Corvel is not running." : "Whether Corvel is running cannot be told.";
    case ReportItem::caffeinate:
      return "caffeinate is not holding the Mac awake.";
    case ReportItem::sleepSwitch:
      if (!r.sleepDisabled) return "The system sleep switch cannot be read.";
      return on ? "System sleep is not disabled." : "System sleep is still disabled although protection is off.";
    case ReportItem::screenLock:
      if (r.screenLock == ScreenLockState::unknown()) return "The screen-lock setting cannot be read.";
      return on ? "The screen lock is not off." : "The screen lock is still off although protection is off.";
    case ReportItem::permission:
      return "The limited sudo permission does not work.";
    case ReportItem::safetyStop:
      return "The safety guard switched protection off at " + isoTime(r.lastSafetyStop->at) + ": " +
             std::string(stopCause(r.lastSafetyStop->reason));
    case ReportItem::deadline:
    case ReportItem::session:
    case ReportItem::watchdog:
      break;
  }
  return "";
}

}  // namespace

std::string statusJson(const StatusReadings& r, const StatusAssessment& a) {
  std::vector<std::string> problems;
  for (ReportItem item : a.failing) problems.push_back(jsonString(problem(item, r)));
  return JsonObject()
      .member("verdict", jsonString(verdictName(a.verdict)))
      .member("mode", r.mode ? jsonString(rawValue(*r.mode)) : JsonNull)
      .member("enabled", jsonBool(r.enabled))
      .member("corvelRunning", jsonBool(r.corvelRunning))
      .member("caffeinatePid", r.caffeinatePid ? std::to_string(*r.caffeinatePid) : JsonNull)
      .member("sleepDisabled", jsonBool(r.sleepDisabled))
      .member("screenLock", jsonString(screenLockName(r.screenLock)))
      .member("previousScreenLock", r.previousScreenLock ? jsonString(*r.previousScreenLock) : JsonNull)
      .member("screenLockDisabledByCorvel", jsonBool(r.screenLockDisabledByCorvel))
      .member("sessionLocked", jsonBool(r.sessionLocked))
      .member("limitedPermission", jsonBool(r.limitedPermission))
      .member("watchdog", r.watchdog ? jsonString(agentStatusName(*r.watchdog)) : JsonNull)
      .member("problems", jsonArray(problems))
      .member("settings", orNull(r.guard, guardJson))
      .member("deadline", orNull(r.deadline, timeJson))
      .member("battery", orNull(r.battery, batteryJson))
      .member("thermal", orNull(r.thermal, [](ThermalState t) { return jsonString(thermalName(t)); }))
      .member("lastSafetyStop", orNull(r.lastSafetyStop, stopJson))
      .member("repairs", orNull(r.repairs, repairsJson))
      .text();
}

}  // namespace corvel
