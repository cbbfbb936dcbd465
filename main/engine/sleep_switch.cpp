// The system-wide sleep switch: set through `sudo -n pmset`, read from `pmset -g`, waited for.
#include "sleep_switch.h"

#include <chrono>
#include <string>
#include <vector>

namespace corvel {
namespace {

std::vector<std::string_view> fields(std::string_view line) {
  std::vector<std::string_view> result;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    const std::size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) result.push_back(line.substr(start, i - start));
  }
  return result;
}

}  // namespace

bool pmsetShowsSleepDisabled(std::string_view output) {
  std::size_t start = 0;
  while (start <= output.size()) {
    std::size_t end = output.find('\n', start);
    if (end == std::string_view::npos) end = output.size();
    const auto f = fields(output.substr(start, end - start));
    if (f.size() >= 2 && f[0] == "SleepDisabled" && f[1] == "1") return true;
    start = end + 1;
  }
  return false;
}

bool SleepSwitch::runPrivilegedPmset(bool disableSleep) {
  // These exact arguments are what the sudoers rule allows; sudo never prompts with -n.
  return processes_
             .run(tools_.sudo, {"-n", "/usr/bin/pmset", "-a", "disablesleep", disableSleep ? "1" : "0"},
                  PrivilegedPmsetLimits)
             .exitCode == 0;
}

std::optional<bool> SleepSwitch::readSleepDisabled() {
  const ProcessResult reading = processes_.run(tools_.pmset, {"-g"}, readingLimits_);
  lastReading_.reset();
  if (reading.exitCode != 0 || reading.output.empty()) return std::nullopt;
  return lastReading_ = pmsetShowsSleepDisabled(reading.output);
}

bool SleepSwitch::isSleepDisabled() { return readSleepDisabled().value_or(false); }

bool SleepSwitch::waitForSleepDisabled(bool wanted, std::chrono::milliseconds timeout) {
  const auto deadline = clock_.now() + timeout;
  do {
    if (readSleepDisabled() == wanted) return true;
    clock_.sleepFor(SleepSwitchPollInterval);
  } while (clock_.now() < deadline);
  return readSleepDisabled() == wanted;
}

}  // namespace corvel
