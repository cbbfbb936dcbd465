// The supervised caffeinate child, and taking charge of the one a predecessor left running.
#include "caffeinate_supervisor.h"

#include <limits>
#include <vector>

#include "main/settings.h"
#include "support/decimal.h"

namespace corvel {

std::optional<pid_t> recordedCaffeinatePid(const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  const auto value = parseDecimal(*text);
  if (!value || *value <= 0 || *value > std::numeric_limits<pid_t>::max()) return std::nullopt;
  return static_cast<pid_t>(*value);
}

CaffeinateSupervisor::CaffeinateSupervisor(ProcessRunner& processes, SettingsStore& defaults,
                                           std::string caffeinatePath)
    : processes_(processes), defaults_(defaults), caffeinatePath_(std::move(caffeinatePath)) {}

// A child outlives a Corvel that is killed. Its pid is kept in the defaults so that the next run,
// usually the watchdog's relaunch, takes charge of it instead of starting a second one: protection
// then carries on across the crash without a gap, and switching off ends the child that really
// holds the Mac awake.
void CaffeinateSupervisor::adoptRecordedCaffeinate() {
  if (caffeinateProcess_) return;
  const auto recorded = defaults_.string(keys::caffeinateProcessIdentifier);
  if (!recorded) return;
  if (const auto pid = recordedCaffeinatePid(recorded)) {
    caffeinateProcess_ = processes_.adopt(*pid, caffeinatePath_, CaffeinateArguments);
  }
  if (!caffeinateProcess_) defaults_.remove(keys::caffeinateProcessIdentifier);
}

void CaffeinateSupervisor::startCaffeinateIfNeeded() {
  adoptRecordedCaffeinate();
  if (isCaffeinateRunning()) return;
  caffeinateProcess_ = processes_.launch(caffeinatePath_, CaffeinateArguments);
  if (caffeinateProcess_) {
    defaults_.setString(keys::caffeinateProcessIdentifier, std::to_string(caffeinateProcess_->pid()));
  } else if (defaults_.string(keys::caffeinateProcessIdentifier)) {
    defaults_.remove(keys::caffeinateProcessIdentifier);
  }
}

void CaffeinateSupervisor::stopCaffeinate() {
  adoptRecordedCaffeinate();
  if (isCaffeinateRunning()) caffeinateProcess_->terminate();
  caffeinateProcess_.reset();
  if (defaults_.string(keys::caffeinateProcessIdentifier)) defaults_.remove(keys::caffeinateProcessIdentifier);
}

bool CaffeinateSupervisor::isCaffeinateRunning() { return caffeinateProcess_ && caffeinateProcess_->isRunning(); }

}  // namespace corvel
