// The supervised caffeinate child, and taking charge of the one a predecessor left running.
#include "caffeinate_supervisor.h"

#include <limits>
#include <vector>

#include "main/settings.h"
#include "support/decimal.h"

namespace corvel {

std::optional<ProcessIdentity> decodeRecordedChild(const std::optional<std::string>& pid,
                                                   const std::optional<std::string>& identity) {
  if (!pid || !identity) return std::nullopt;
  const auto blank = identity->find(' ');
  if (blank == std::string::npos) return std::nullopt;
  const auto pidValue = parseDecimal(*pid);
  const auto startTime = parseDecimal(std::string_view(*identity).substr(0, blank));
  const auto owner = parseDecimal(std::string_view(*identity).substr(blank + 1));
  if (!pidValue || *pidValue <= 0 || *pidValue > std::numeric_limits<pid_t>::max()) return std::nullopt;
  if (!startTime || !owner || *owner > std::numeric_limits<uid_t>::max()) return std::nullopt;
  return ProcessIdentity{static_cast<pid_t>(*pidValue), static_cast<std::uint64_t>(*startTime),
                         static_cast<uid_t>(*owner)};
}

std::string encodeChildIdentity(const ProcessIdentity& identity) {
  return std::to_string(identity.startTime) + " " + std::to_string(identity.owner);
}

CaffeinateSupervisor::CaffeinateSupervisor(ProcessRunner& processes, SettingsStore& defaults,
                                           std::string caffeinatePath)
    : processes_(processes), defaults_(defaults), caffeinatePath_(std::move(caffeinatePath)) {}

// A child outlives a Corvel that is killed. It is recorded in the defaults so that the next run,
// usually the watchdog's relaunch, takes charge of it instead of starting a second one: protection
// then carries on across the crash without a gap, and switching off ends the child that really
// holds the Mac awake. The pid alone is not enough: once the child has ended, the system may hand
// it to anyone's process, even another caffeinate with the same arguments.
void CaffeinateSupervisor::adoptRecordedCaffeinate() {
  if (caffeinateProcess_) return;
  const auto pid = defaults_.string(keys::caffeinateProcessIdentifier);
  const auto identity = defaults_.string(keys::caffeinateProcessIdentity);
  if (!pid && !identity) return;
  if (const auto recorded = decodeRecordedChild(pid, identity)) {
    caffeinateProcess_ = processes_.adopt(*recorded, caffeinatePath_, CaffeinateArguments);
  }
  if (!caffeinateProcess_) forgetChild();
}

// The identity first: a record is whole only once its pid is there, so a kill between the two writes
// leaves no record that could match another process.
void CaffeinateSupervisor::recordChild() {
  const auto identity = caffeinateProcess_->identity();
  if (!identity) {
    forgetChild();
    return;
  }
  defaults_.setString(keys::caffeinateProcessIdentity, encodeChildIdentity(*identity));
  defaults_.setString(keys::caffeinateProcessIdentifier, std::to_string(identity->pid));
}

void CaffeinateSupervisor::forgetChild() {
  if (defaults_.string(keys::caffeinateProcessIdentifier)) defaults_.remove(keys::caffeinateProcessIdentifier);
  if (defaults_.string(keys::caffeinateProcessIdentity)) defaults_.remove(keys::caffeinateProcessIdentity);
}

void CaffeinateSupervisor::startCaffeinateIfNeeded() {
  adoptRecordedCaffeinate();
  if (isCaffeinateRunning()) return;
  caffeinateProcess_ = processes_.launch(caffeinatePath_, CaffeinateArguments);
  if (caffeinateProcess_) {
    recordChild();
  } else {
    forgetChild();
  }
}

void CaffeinateSupervisor::stopCaffeinate() {
  adoptRecordedCaffeinate();
  if (isCaffeinateRunning()) caffeinateProcess_->terminate();
  caffeinateProcess_.reset();
  forgetChild();
}

bool CaffeinateSupervisor::isCaffeinateRunning() { return caffeinateProcess_ && caffeinateProcess_->isRunning(); }

}  // namespace corvel
