// The supervised caffeinate child that holds the Mac awake while protection is on.
#include <string>

#include "main/app_delegate.h"

namespace corvel {
namespace {

const std::vector<std::string> kCaffeinateArguments{"-d", "-i", "-m", "-s"};

std::optional<pid_t> parsePid(const std::optional<std::string>& text) {
  if (!text || text->empty() || text->size() > 9) return std::nullopt;
  pid_t pid = 0;
  for (char c : *text) {
    if (c < '0' || c > '9') return std::nullopt;
    pid = pid * 10 + (c - '0');
  }
  return pid > 0 ? std::optional(pid) : std::nullopt;
}

}  // namespace

// A child outlives a Corvel that is killed. Its pid is kept in the defaults so that the next run,
// usually the watchdog's relaunch, takes charge of it instead of starting a second one: protection
// then carries on across the crash without a gap, and switching off ends the child that really
// holds the Mac awake.
void AppDelegate::adoptRecordedCaffeinate() {
  if (caffeinateProcess) return;
  const auto recorded = defaults.string(keys::caffeinateProcessIdentifier);
  if (!recorded) return;
  if (const auto pid = parsePid(recorded)) {
    caffeinateProcess = platform_.processes.adopt(*pid, platform_.tools.caffeinate, kCaffeinateArguments);
  }
  if (!caffeinateProcess) defaults.remove(keys::caffeinateProcessIdentifier);
}

void AppDelegate::startCaffeinateIfNeeded() {
  adoptRecordedCaffeinate();
  // Never a second child: one that runs already keeps the Mac awake.
  if (isCaffeinateRunning()) return;
  caffeinateProcess = platform_.processes.launch(platform_.tools.caffeinate, kCaffeinateArguments);
  if (caffeinateProcess) {
    defaults.setString(keys::caffeinateProcessIdentifier, std::to_string(caffeinateProcess->pid()));
  } else if (defaults.string(keys::caffeinateProcessIdentifier)) {
    defaults.remove(keys::caffeinateProcessIdentifier);
  }
}

void AppDelegate::stopCaffeinate() {
  adoptRecordedCaffeinate();
  if (isCaffeinateRunning()) caffeinateProcess->terminate();
  caffeinateProcess.reset();
  if (defaults.string(keys::caffeinateProcessIdentifier)) defaults.remove(keys::caffeinateProcessIdentifier);
}

bool AppDelegate::isCaffeinateRunning() { return caffeinateProcess && caffeinateProcess->isRunning(); }

}  // namespace corvel
