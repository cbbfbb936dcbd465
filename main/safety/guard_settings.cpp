// The safety guard's settings and records as they are stored and as people type them.
#include "guard_settings.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "support/decimal.h"

namespace corvel {
namespace {

using std::chrono::minutes;

// `text` as a whole number from `low` to `high`; none otherwise.
std::optional<std::int64_t> numberIn(std::string_view text, std::int64_t low, std::int64_t high) {
  const auto value = parseDecimal(text);
  if (!value || *value < low || *value > high) return std::nullopt;
  return value;
}

std::optional<bool> onOff(std::string_view text) {
  if (text == "on") return true;
  if (text == "off") return false;
  return std::nullopt;
}

// An absent key reads as the empty text, which is no value of any key.
std::string stored(const TextOf& text, std::string_view key) { return text(key).value_or(""); }

std::string_view keyOf(GuardSetting setting) {
  switch (setting) {
    case GuardSetting::batteryFloor:
      return keys::batteryFloor;
    case GuardSetting::timeLimit:
      return keys::timeLimitMinutes;
    case GuardSetting::thermalStop:
      return keys::thermalStop;
    case GuardSetting::repair:
      return keys::repair;
  }
  return keys::batteryFloor;
}

constexpr std::pair<char, minutes> DurationUnits[] = {
    {'d', std::chrono::days(1)}, {'h', std::chrono::hours(1)}, {'m', minutes(1)}};

}  // namespace

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
  for (const StopReason reason : {StopReason::timeLimit, StopReason::battery, StopReason::thermal}) {
    if (rawValue(reason) == raw) return reason;
  }
  return std::nullopt;
}

GuardSettings readGuardSettings(const TextOf& text) {
  GuardSettings settings;
  if (const auto floor = numberIn(stored(text, keys::batteryFloor), 1, 99)) settings.batteryFloor = int(*floor);
  const auto limit =
      numberIn(stored(text, keys::timeLimitMinutes), ShortestTimeLimit.count(), LongestTimeLimit.count());
  if (limit) settings.timeLimit = minutes(*limit);
  settings.thermalStop = onOff(stored(text, keys::thermalStop)).value_or(settings.thermalStop);
  settings.repair = onOff(stored(text, keys::repair)).value_or(settings.repair);
  return settings;
}

std::optional<TimePoint> readDeadline(const TextOf& text) { return parseIsoTime(stored(text, keys::deadline)); }

std::optional<SafetyStop> readLastSafetyStop(const TextOf& text) {
  const auto reason = stopReasonFromRawValue(stored(text, keys::lastSafetyStopReason));
  const auto at = parseIsoTime(stored(text, keys::lastSafetyStopAt));
  if (!reason || !at) return std::nullopt;
  return SafetyStop{*reason, *at};
}

Repairs readRepairs(const TextOf& text) {
  return {numberIn(stored(text, keys::repairCount), 0, std::numeric_limits<std::int64_t>::max()).value_or(0),
          parseIsoTime(stored(text, keys::lastRepairAt))};
}

TextOf textOf(SettingsStore& store) {
  return [&store](std::string_view key) { return store.string(key); };
}

std::string_view settingName(GuardSetting setting) {
  switch (setting) {
    case GuardSetting::batteryFloor:
      return "battery-floor";
    case GuardSetting::timeLimit:
      return "time-limit";
    case GuardSetting::thermalStop:
      return "thermal-stop";
    case GuardSetting::repair:
      return "repair";
  }
  return "";
}

std::optional<GuardSetting> guardSettingNamed(std::string_view name) {
  for (const GuardSetting setting : EveryGuardSetting) {
    if (settingName(setting) == name) return setting;
  }
  return std::nullopt;
}

std::string typedValue(const GuardSettings& settings, GuardSetting setting) {
  switch (setting) {
    case GuardSetting::batteryFloor:
      return settings.batteryFloor ? std::to_string(*settings.batteryFloor) : "off";
    case GuardSetting::timeLimit:
      return settings.timeLimit ? formatDuration(*settings.timeLimit) : "off";
    case GuardSetting::thermalStop:
      return settings.thermalStop ? "on" : "off";
    case GuardSetting::repair:
      return settings.repair ? "on" : "off";
  }
  return "";
}

std::optional<GuardSettings> withTypedValue(GuardSettings settings, GuardSetting setting, std::string_view typed) {
  const bool off = typed == "off";
  switch (setting) {
    case GuardSetting::batteryFloor: {
      const auto floor = numberIn(typed, 1, 99);
      if (!off && !floor) return std::nullopt;
      settings.batteryFloor = floor ? std::optional<int>(int(*floor)) : std::nullopt;
      return settings;
    }
    case GuardSetting::timeLimit: {
      auto limit = parseDuration(typed);
      if (limit && (*limit < ShortestTimeLimit || *limit > LongestTimeLimit)) limit.reset();
      if (!off && !limit) return std::nullopt;
      settings.timeLimit = limit;
      return settings;
    }
    case GuardSetting::thermalStop:
    case GuardSetting::repair: {
      const auto on = onOff(typed);
      if (!on) return std::nullopt;
      (setting == GuardSetting::repair ? settings.repair : settings.thermalStop) = *on;
      return settings;
    }
  }
  return std::nullopt;
}

void writeGuardSetting(SettingsStore& store, const GuardSettings& settings, GuardSetting setting) {
  const std::string typed = typedValue(settings, setting);
  if (typed == typedValue(GuardSettings{}, setting)) {
    store.remove(keyOf(setting));
  } else if (setting == GuardSetting::timeLimit) {
    // Kept in minutes, which a person using `defaults` reads without a duration's grammar.
    store.setString(keyOf(setting), std::to_string(settings.timeLimit->count()));
  } else {
    store.setString(keyOf(setting), typed);
  }
}

std::optional<minutes> parseDuration(std::string_view text) {
  // Far beyond any range a caller checks, and small enough that no sum of the parts can overflow.
  constexpr std::int64_t largestPart = 1'000'000'000;
  minutes total{0};
  std::size_t unit = 0;
  if (text.empty()) return std::nullopt;
  while (!text.empty()) {
    const std::size_t digits = std::min(text.find_first_not_of("0123456789"), text.size());
    const char letter = digits < text.size() ? text[digits] : '\0';
    while (unit < std::size(DurationUnits) && DurationUnits[unit].first != letter) ++unit;
    const auto count = numberIn(text.substr(0, digits), 0, largestPart);
    if (unit == std::size(DurationUnits) || !count) return std::nullopt;
    total += DurationUnits[unit++].second * *count;
    text.remove_prefix(digits + 1);
  }
  return total;
}

std::string formatDuration(minutes length) {
  std::string text;
  for (const auto& [letter, size] : DurationUnits) {
    if (length < size) continue;
    text += std::to_string(length / size) + letter;
    length %= size;
  }
  return text.empty() ? "0m" : text;
}

std::string isoTime(TimePoint time) {
  using namespace std::chrono;
  const auto second = floor<seconds>(time);
  const auto day = floor<days>(second);
  const year_month_day date{day};
  const hh_mm_ss clock{second - day};
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", int(date.year()), unsigned(date.month()),
                unsigned(date.day()), int(clock.hours().count()), int(clock.minutes().count()),
                int(clock.seconds().count()));
  return text;
}

std::optional<TimePoint> parseIsoTime(std::string_view text) {
  using namespace std::chrono;
  constexpr std::string_view shape = "0000-00-00T00:00:00Z";
  if (text.size() != shape.size()) return std::nullopt;
  for (std::size_t i = 0; i < shape.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (shape[i] == '0' ? !digit : text[i] != shape[i]) return std::nullopt;
  }
  const auto field = [text](std::size_t at, std::size_t length) { return int(*parseDecimal(text.substr(at, length))); };
  const year_month_day date{year(field(0, 4)), month(unsigned(field(5, 2))), day(unsigned(field(8, 2)))};
  if (!date.ok() || field(11, 2) > 23 || field(14, 2) > 59 || field(17, 2) > 59) return std::nullopt;
  return TimePoint(sys_days(date) + hours(field(11, 2)) + minutes(field(14, 2)) + seconds(field(17, 2)));
}

}  // namespace corvel
