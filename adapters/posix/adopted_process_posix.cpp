// Taking charge of a caffeinate left running by an earlier run of Corvel.
#include <csignal>

#include "process_info.h"
#include "process_runner_posix.h"

namespace corvel {
namespace {

// Not our child: it is never waited for, and its identity is checked again at every question, so a
// pid that the system hands to someone else after the process ended is not taken for it.
class AdoptedProcess final : public ChildProcess {
 public:
  AdoptedProcess(pid_t pid, std::vector<std::string> commandLine) : pid_(pid), commandLine_(std::move(commandLine)) {}
  pid_t pid() const override { return pid_; }
  bool isRunning() override { return !ended_ && !(ended_ = commandLineOf(pid_) != commandLine_); }
  void terminate() override {
    if (isRunning()) ::kill(pid_, SIGTERM);
  }

 private:
  pid_t pid_;
  std::vector<std::string> commandLine_;
  bool ended_ = false;
};

}  // namespace

std::unique_ptr<ChildProcess> PosixProcessRunner::adopt(pid_t pid, const std::string& executable,
                                                        const std::vector<std::string>& arguments) {
  std::vector<std::string> expected{executable};
  expected.insert(expected.end(), arguments.begin(), arguments.end());
  if (commandLineOf(pid) != expected) return nullptr;
  return std::make_unique<AdoptedProcess>(pid, std::move(expected));
}

}  // namespace corvel
