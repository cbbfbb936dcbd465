// The system-wide sleep switch: set through `sudo -n pmset`, read from `pmset -g`, waited for.
#pragma once

#include <chrono>
#include <optional>
#include <string_view>

#include "ports/clock.h"
#include "ports/process_runner.h"
#include "ports/tool_paths.h"

namespace corvel {

// True when some line of `pmset -g` output has "SleepDisabled" as its first blank-separated field
// and "1" as its second.
bool pmsetShowsSleepDisabled(std::string_view output);

// pmset -g answers at once. A second is plenty, and keeps one that does not answer from holding the
// event loop, which reads it on every refresh.
inline constexpr RunLimits SleepReadingLimits{std::chrono::seconds(1), ToolOutputCap};
// sudo may look up the host's name before it decides; a few seconds cover a slow resolver.
inline constexpr RunLimits PrivilegedPmsetLimits{std::chrono::seconds(5), ToolOutputCap};
// A change shows in pmset's reading within moments; the interface is held while a switch waits for it.
inline constexpr std::chrono::milliseconds SleepSwitchPollInterval{100};
inline constexpr std::chrono::milliseconds SleepSwitchSettleTimeout = std::chrono::seconds(3);

class SleepSwitch {
 public:
  SleepSwitch(ProcessRunner& processes, Clock& clock, const ToolPaths& tools,
              RunLimits readingLimits = SleepReadingLimits)
      : processes_(processes), clock_(clock), tools_(tools), readingLimits_(readingLimits) {}

  // Runs `sudo -n /usr/bin/pmset -a disablesleep 0|1`; true when sudo and pmset succeeded. Never
  // prompts: without the limited permission sudo refuses.
  bool runPrivilegedPmset(bool disableSleep);
  // None when pmset -g gave no answer (none in time, a failure, or nothing said): then nothing is
  // known, not even that sleep is allowed.
  std::optional<bool> readSleepDisabled();
  // What the latest reading said, without asking again: the refresh reads once and all share it.
  std::optional<bool> lastReading() const { return lastReading_; }
  // The reading where only "certainly disabled" counts, as for showing protection in force.
  bool isSleepDisabled();
  // Polls the reading every 0.1 s until it shows `wanted` or the time is up; blocks meanwhile. A
  // reading that gave no answer shows neither value.
  bool waitForSleepDisabled(bool wanted, std::chrono::milliseconds timeout = SleepSwitchSettleTimeout);

 private:
  ProcessRunner& processes_;
  Clock& clock_;
  const ToolPaths& tools_;
  RunLimits readingLimits_;
  std::optional<bool> lastReading_;
};

}  // namespace corvel
