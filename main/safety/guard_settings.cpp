// The safety guard's stored vocabulary read back: every stored text that does not read is the default.
#include "guard_settings.h"

#include <array>
#include <cstdio>
#include <limits>

#include "support/decimal.h"

namespace corvel {
namespace {

constexpr std::array<std::string_view, 3> StopReasonNames{"timeLimit", "battery", "thermal"};

// A whole number from `low` to `high`, or none.
std::optional<std::int64_t> storedNumber(const std::optional<std::string>& text, std::int64_t low, std::int64_t high) {
  const auto value = text ? parseDecimal(*text) : std::nullopt;
  return value && *value >= low && *value <= high ? value : std::nullopt;
}

std::optional<TimePoint> storedTime(const std::optional<std::string>& text) {
  return text ? parseIsoTime(*text) : std::nullopt;
}

}  // namespace

std::string_view rawValue(StopReason reason) { return StopReasonNames[static_cast<std::size_t>(reason)]; }

std::optional<StopReason> stopReasonFromRawValue(std::string_view raw) {
  for (std::size_t i = 0; i < StopReasonNames.size(); ++i) {
    if (StopReasonNames[i] == raw) return static_cast<StopReason>(i);
  }
  return std::nullopt;
}

GuardSettings readGuardSettings(const TextOf& text) {
  GuardSettings settings;
  if (const auto floor = storedNumber(text(keys::batteryFloor), 1, 99))
    settings.batteryFloor = static_cast<int>(*floor);
  if (const auto limit =
          storedNumber(text(keys::timeLimitMinutes), ShortestTimeLimit.count(), LongestTimeLimit.count()))
    settings.timeLimit = std::chrono::minutes(*limit);
  settings.thermalStop = text(keys::thermalStop) != "off";
  settings.repair = text(keys::repair) == "on";
  return settings;
}

std::optional<TimePoint> readDeadline(const TextOf& text) { return storedTime(text(keys::deadline)); }

std::optional<SafetyStop> readLastSafetyStop(const TextOf& text) {
  const auto raw = text(keys::lastSafetyStopReason);
  const auto reason = raw ? stopReasonFromRawValue(*raw) : std::nullopt;
  const auto at = storedTime(text(keys::lastSafetyStopAt));
  if (!reason || !at) return std::nullopt;
  return SafetyStop{*reason, *at};
}

Repairs readRepairs(const TextOf& text) {
  const auto count = storedNumber(text(keys::repairCount), 0, std::numeric_limits<long long>::max());
  return {count.value_or(0), storedTime(text(keys::lastRepairAt))};
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
  using namespace std::chrono;
  const auto second = floor<seconds>(time);
  const auto day = floor<days>(second);
  const year_month_day date(day);
  const hh_mm_ss clock(second - day);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                static_cast<int>(clock.seconds().count()));
  return text;
}

std::optional<TimePoint> parseIsoTime(std::string_view text) {
  using namespace std::chrono;
  constexpr std::string_view shape = "dddd-dd-ddTdd:dd:ddZ";
  if (text.size() != shape.size()) return std::nullopt;
  for (std::size_t i = 0; i < shape.size(); ++i) {
    if (shape[i] == 'd' ? text[i] < '0' || text[i] > '9' : text[i] != shape[i]) return std::nullopt;
  }
  const auto number = [&](std::size_t at, std::size_t length) { return *parseDecimal(text.substr(at, length)); };
  const year_month_day date{year(static_cast<int>(number(0, 4))), month(static_cast<unsigned>(number(5, 2))),
                            day(static_cast<unsigned>(number(8, 2)))};
  const auto hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
  if (!date.ok() || hour > 23 || minute > 59 || second > 59) return std::nullopt;
  const sys_seconds at = sys_days(date) + hours(hour) + minutes(minute) + seconds(second);
  // The clock's own range is narrower than four digits of years where it counts in nanoseconds.
  if (at < floor<seconds>(TimePoint::min()) + seconds(1) || at > floor<seconds>(TimePoint::max())) return std::nullopt;
  return time_point_cast<TimePoint::duration>(at);
}

}  // namespace corvel
