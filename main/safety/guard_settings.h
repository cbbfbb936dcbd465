// The safety guard's vocabulary: its four settings, the time limit's deadline, the record of the last
// safety stop and of the repairs, how each is stored, and the durations and times as people write them.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "ports/clock.h"
#include "ports/settings_store.h"

namespace corvel {

using TimePoint = Clock::TimePoint;

// Each setting's default is what an absent key reads as: every guard off except the thermal stop.
struct GuardSettings {
  std::optional<int> batteryFloor;                // percent, 1 to 99; none: off
  std::optional<std::chrono::minutes> timeLimit;  // 1 minute to 7 days; none: off
  bool thermalStop = true;
  bool repair = false;
  friend bool operator==(const GuardSettings&, const GuardSettings&) = default;
};

inline constexpr std::chrono::minutes ShortestTimeLimit{1};
inline constexpr std::chrono::minutes LongestTimeLimit = std::chrono::days(7);

// The settings one by one, as people name them and type their values on the command line and read
// them back: "battery-floor" off or 1 to 99, "time-limit" off or a duration, "thermal-stop" and
// "repair" on or off.
enum class GuardSetting { batteryFloor, timeLimit, thermalStop, repair };
inline constexpr GuardSetting EveryGuardSetting[] = {GuardSetting::batteryFloor, GuardSetting::timeLimit,
                                                     GuardSetting::thermalStop, GuardSetting::repair};
std::string_view settingName(GuardSetting setting);
std::optional<GuardSetting> guardSettingNamed(std::string_view name);
// The value of `setting` in `settings` as it is typed: "off", "20", "1h30m", "on".
std::string typedValue(const GuardSettings& settings, GuardSetting setting);
// `settings` with `setting` set to the value `typed`; none when it is not one of that setting's values.
std::optional<GuardSettings> withTypedValue(GuardSettings settings, GuardSetting setting, std::string_view typed);

enum class StopReason { timeLimit, battery, thermal };
std::string_view rawValue(StopReason reason);  // "timeLimit", "battery", "thermal"
std::optional<StopReason> stopReasonFromRawValue(std::string_view raw);

struct SafetyStop {
  StopReason reason;
  TimePoint at;
  friend bool operator==(const SafetyStop&, const SafetyStop&) = default;
};

struct Repairs {
  long long count = 0;
  std::optional<TimePoint> last;
  friend bool operator==(const Repairs&, const Repairs&) = default;
};

namespace keys {
// Every value is text, so that a person can read and write it with `defaults`; an absent key or one
// that does not read is the default (a setting) or nothing (a record).
inline constexpr std::string_view batteryFloor = "SafetyBatteryFloor";          // "1" to "99"
inline constexpr std::string_view timeLimitMinutes = "SafetyTimeLimitMinutes";  // "1" to "10080"
inline constexpr std::string_view thermalStop = "SafetyThermalStop";            // "on" or "off"
inline constexpr std::string_view repair = "SafetyRepair";                      // "on" or "off"
inline constexpr std::string_view deadline = "ProtectionDeadline";              // ISO 8601, while a time limit runs
inline constexpr std::string_view lastSafetyStopReason = "LastSafetyStopReason";
inline constexpr std::string_view lastSafetyStopAt = "LastSafetyStopAt";  // ISO 8601
inline constexpr std::string_view repairCount = "RepairCount";            // decimal
inline constexpr std::string_view lastRepairAt = "LastRepairAt";          // ISO 8601
}  // namespace keys

// A stored key's text, none when absent: the one way both the settings store and the status check's
// snapshot of the defaults are read.
using TextOf = std::function<std::optional<std::string>(std::string_view key)>;

GuardSettings readGuardSettings(const TextOf& text);
std::optional<TimePoint> readDeadline(const TextOf& text);
std::optional<SafetyStop> readLastSafetyStop(const TextOf& text);
Repairs readRepairs(const TextOf& text);
TextOf textOf(SettingsStore& store);
// Stores `setting` as `settings` hold it: its text, or, for its default, no key at all.
void writeGuardSetting(SettingsStore& store, const GuardSettings& settings, GuardSetting setting);

// "30m", "4h", "1h30m", "2d": days, hours and minutes, in that order, each at most once, at least one,
// ASCII digits only; none otherwise (the range is the caller's to check).
std::optional<std::chrono::minutes> parseDuration(std::string_view text);
// The shortest such text: "1h30m", "2d", "45m".
std::string formatDuration(std::chrono::minutes length);
// UTC to the second, "2026-12-07T14:00:00Z"; parsing takes exactly that form.
std::string isoTime(TimePoint time);
std::optional<TimePoint> parseIsoTime(std::string_view text);

}  // namespace corvel
