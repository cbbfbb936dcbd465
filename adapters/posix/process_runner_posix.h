// The POSIX process runner, real on macOS and Linux alike.
#pragma once

#include "ports/process_runner.h"

namespace corvel {

class PosixProcessRunner final : public ProcessRunner {
 public:
  ProcessResult run(const std::string& executable, const std::vector<std::string>& arguments,
                    const RunLimits& limits) override;
  ProcessResult runWithInput(const std::string& executable, const std::vector<std::string>& arguments,
                             const std::string& input, const RunLimits& limits) override;
  std::unique_ptr<ChildProcess> launch(const std::string& executable,
                                       const std::vector<std::string>& arguments) override;
  std::unique_ptr<ChildProcess> adopt(const ProcessIdentity& identity, const std::string& executable,
                                      const std::vector<std::string>& arguments) override;
};

}  // namespace corvel
