// POSIX adapters for the clock, the process environment and file questions: real on every system.
#pragma once

#include "ports/clock.h"
#include "ports/file_system.h"
#include "ports/process_environment.h"

namespace corvel {

class PosixClock final : public Clock {
 public:
  TimePoint now() override;
  void sleepFor(std::chrono::milliseconds length) override;
};

class PosixProcessEnvironment final : public ProcessEnvironment {
 public:
  explicit PosixProcessEnvironment(std::vector<std::string> arguments) : arguments_(std::move(arguments)) {}
  const std::vector<std::string>& arguments() const override { return arguments_; }
  std::optional<std::string> variable(std::string_view name) const override;
  std::string userName() const override;

 private:
  std::vector<std::string> arguments_;
};

class PosixFileSystem final : public FileSystem {
 public:
  bool fileExists(const std::string& path) override;
};

}  // namespace corvel
