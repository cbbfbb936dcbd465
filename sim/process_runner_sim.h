// The simulated Mac's process runner: the real one, except that it takes charge only of a process
// of this machine, never of one that a copy of the machine's folder still names.
#pragma once

#include <filesystem>

#include "adapters/posix/process_runner_posix.h"

namespace corvel::sim {

class SimProcessRunner final : public ProcessRunner {
 public:
  explicit SimProcessRunner(std::filesystem::path root) : root_(std::move(root)) {}
  ProcessResult run(const std::string& executable, const std::vector<std::string>& arguments,
                    const RunLimits& limits) override {
    return posix_.run(executable, arguments, limits);
  }
  ProcessResult runWithInput(const std::string& executable, const std::vector<std::string>& arguments,
                             const std::string& input, const RunLimits& limits) override {
    return posix_.runWithInput(executable, arguments, input, limits);
  }
  std::unique_ptr<ChildProcess> launch(const std::string& executable,
                                       const std::vector<std::string>& arguments) override {
    return posix_.launch(executable, arguments);
  }
  std::unique_ptr<ChildProcess> adopt(const ProcessIdentity& identity, const std::string& executable,
                                      const std::vector<std::string>& arguments) override;

 private:
  std::filesystem::path root_;
  PosixProcessRunner posix_;
};

}  // namespace corvel::sim
