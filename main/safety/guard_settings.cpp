// Provisional: replaced by the settings branch.
#include "guard_settings.h"

#include <ctime>

#include "support/decimal.h"

namespace corvel {

std::string_view rawValue(StopReason reason) {
  switch (reason) {
    case StopReason::timeLimit:
      return "timeLimit";
    case StopReason::battery:
      return "battery";
    case StopReason::thermal:
      return "thermal";
  }
  return "timeLimit";
}

std::optional<StopReason> stopReasonFromRawValue(std::string_view raw) {
  for (auto r : {StopReason::timeLimit, StopReason::battery, StopReason::thermal})
    if (rawValue(r) == raw) return r;
  return std::nullopt;
}

GuardSettings readGuardSettings(const TextOf& text) {
  GuardSettings g;
  if (auto v = text(keys::batteryFloor); v) {
    if (auto n = parseDecimal(*v); n && *n >= 1 && *n <= 99) g.batteryFloor = static_cast<int>(*n);
  }
  if (auto v = text(keys::timeLimitMinutes); v) {
    if (auto n = parseDecimal(*v); n && *n >= 1 && *n <= LongestTimeLimit.count())
      g.timeLimit = std::chrono::minutes(*n);
  }
  g.thermalStop = text(keys::thermalStop) != "off";
  g.repair = text(keys::repair) == "on";
  return g;
}

std::optional<TimePoint> readDeadline(const TextOf& text) {
  auto v = text(keys::deadline);
  return v ? parseIsoTime(*v) : std::nullopt;
}

std::optional<SafetyStop> readLastSafetyStop(const TextOf& text) {
  auto r = text(keys::lastSafetyStopReason);
  auto a = text(keys::lastSafetyStopAt);
  if (!r || !a) return std::nullopt;
  auto reason = stopReasonFromRawValue(*r);
  auto at = parseIsoTime(*a);
  if (!reason || !at) return std::nullopt;
  return SafetyStop{*reason, *at};
}

Repairs readRepairs(const TextOf& text) {
  Repairs r;
  if (auto v = text(keys::repairCount); v) r.count = parseDecimal(*v).value_or(0);
  if (auto v = text(keys::lastRepairAt); v) r.last = parseIsoTime(*v);
  return r;
}

TextOf textOf(SettingsStore& store) {
  return [&store](std::string_view key) { return store.string(key); };
}

std::optional<std::chrono::minutes> parseDuration(std::string_view text) {
  std::chrono::minutes total{0};
  const std::string_view units = "dhm";
  std::size_t next = 0;
  bool any = false;
  while (!text.empty()) {
    std::size_t i = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    if (i == 0 || i == text.size() || i > 6) return std::nullopt;
    const auto unit = units.find(text[i], next);
    if (unit == std::string_view::npos) return std::nullopt;
    const auto n = *parseDecimal(text.substr(0, i));
    total += std::chrono::minutes(n * (unit == 0 ? 1440 : unit == 1 ? 60 : 1));
    next = unit + 1;
    any = true;
    text.remove_prefix(i + 1);
  }
  if (!any) return std::nullopt;
  return total;
}

std::string formatDuration(std::chrono::minutes length) {
  const long long m = length.count();
  std::string out;
  if (m / 1440) out += std::to_string(m / 1440) + "d";
  if (m % 1440 / 60) out += std::to_string(m % 1440 / 60) + "h";
  if (m % 60 || out.empty()) out += std::to_string(m % 60) + "m";
  return out;
}

std::string isoTime(TimePoint time) {
  const std::time_t t = std::chrono::system_clock::to_time_t(time);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return buffer;
}

std::optional<TimePoint> parseIsoTime(std::string_view text) {
  std::tm tm{};
  const std::string s(text);
  const char* end = strptime(s.c_str(), "%Y-%m-%dT%H:%M:%SZ", &tm);
  if (end == nullptr || *end != '\0') return std::nullopt;
  return std::chrono::system_clock::from_time_t(timegm(&tm));
}

}  // namespace corvel
