// The system-wide sleep switch: set through `sudo -n pmset`, read from `pmset -g`, waited for.
#pragma once

#include <string_view>

#include "ports/clock.h"
#include "ports/process_runner.h"
#include "ports/tool_paths.h"

namespace corvel {

// True when some line of `pmset -g` output has "SleepDisabled" as its first blank-separated field
// and "1" as its second.
bool pmsetShowsSleepDisabled(std::string_view output);

class SleepSwitch {
 public:
  SleepSwitch(ProcessRunner& processes, Clock& clock, const ToolPaths& tools)
      : processes_(processes), clock_(clock), tools_(tools) {}

  // Runs `sudo -n /usr/bin/pmset -a disablesleep 0|1`; true when sudo and pmset succeeded. Never
  // prompts: without the limited permission sudo refuses.
  bool runPrivilegedPmset(bool disableSleep);
  bool isSleepDisabled();
  // Polls the reading every 0.1 s until it shows `wanted` or the time is up; blocks meanwhile.
  bool waitForSleepDisabled(bool wanted, double timeoutSeconds = 3.0);

 private:
  ProcessRunner& processes_;
  Clock& clock_;
  const ToolPaths& tools_;
};

}  // namespace corvel
