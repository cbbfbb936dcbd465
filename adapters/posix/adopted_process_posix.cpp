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
  AdoptedProcess(ProcessIdentity identity, std::vector<std::string> commandLine)
      : identity_(identity), commandLine_(std::move(commandLine)) {}
  pid_t pid() const override { return identity_.pid; }
  std::optional<ProcessIdentity> identity() const override {
    if (ended_) return std::nullopt;
    return identity_;
  }
  bool isRunning() override { return !ended_ && !(ended_ = !isStill()); }
  void terminate() override {
    if (isRunning()) ::kill(identity_.pid, SIGTERM);
  }

 private:
  bool isStill() const {
    return identityOf(identity_.pid) == identity_ && commandLineOf(identity_.pid) == commandLine_;
  }

  ProcessIdentity identity_;
  std::vector<std::string> commandLine_;
  bool ended_ = false;
};

}  // namespace

std::unique_ptr<ChildProcess> PosixProcessRunner::adopt(const ProcessIdentity& identity, const std::string& executable,
                                                        const std::vector<std::string>& arguments) {
  std::vector<std::string> expected{executable};
  expected.insert(expected.end(), arguments.begin(), arguments.end());
  auto process = std::make_unique<AdoptedProcess>(identity, std::move(expected));
  if (!process->isRunning()) return nullptr;
  return process;
}

}  // namespace corvel
