// The supervised caffeinate child that holds the Mac awake while protection is on.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ports/process_runner.h"
#include "ports/settings_store.h"

namespace corvel {

// Display, idle, disk and system sleep on mains power: the one command line Corvel runs and adopts.
inline const std::vector<std::string> CaffeinateArguments{"-d", "-i", "-m", "-s"};

// The record kept for a child: the pid key's text and the identity key's text.
std::optional<ProcessIdentity> decodeRecordedChild(const std::optional<std::string>& pid,
                                                   const std::optional<std::string>& identity);
std::string encodeChildIdentity(const ProcessIdentity& identity);

class CaffeinateSupervisor {
 public:
  CaffeinateSupervisor(ProcessRunner& processes, SettingsStore& defaults, std::string caffeinatePath);

  // Never a second child: one that runs already (ours, or our predecessor's) keeps the Mac awake.
  void startCaffeinateIfNeeded();
  // Ends the child, ours or the one our predecessor recorded, and forgets it.
  void stopCaffeinate();
  // The supervised child exists and is running.
  bool isCaffeinateRunning();

 private:
  void adoptRecordedCaffeinate();
  void recordChild();
  void forgetChild();

  ProcessRunner& processes_;
  SettingsStore& defaults_;
  std::string caffeinatePath_;
  std::unique_ptr<ChildProcess> caffeinateProcess_;
};

}  // namespace corvel
