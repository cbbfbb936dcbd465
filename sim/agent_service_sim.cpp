// Registering and unregistering the simulated launch agent.
#include "agent_service_sim.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string>

#include "sim/launchd_jobs.h"
#include "sim/sim_root.h"
#include "sim/workspace_sim.h"

namespace corvel::sim {
namespace fs = std::filesystem;

namespace {

// The shell only starts the supervisor in the background.
constexpr RunLimits SupervisorStartLimits{std::chrono::seconds(10), ToolOutputCap};

fs::file_type typeOf(const fs::path& path) {
  std::error_code failed;
  return fs::symlink_status(path, failed).type();
}

// Started in a session of its own and left to the system, like launchd itself: it must not share
// Corvel's terminal or die with it, and it gets launchd's few variables, not Corvel's environment.
// The sim root goes along, since it is the machine itself.
bool startSupervisor(ProcessRunner& processes, const std::string& plistName, const fs::path& program) {
  std::vector<std::string> arguments{"-c", "setsid env -i \"$@\" </dev/null >/dev/null 2>&1 &", "sh"};
  for (const char* name : {"HOME", "PATH", "USER", "LOGNAME", "TMPDIR", "XDG_STATE_HOME", "CORVEL_SIM_ROOT"}) {
    if (const char* value = std::getenv(name)) arguments.push_back(std::string(name) + "=" + value);
  }
  arguments.insert(arguments.end(), {(programFolder() / "sim" / "launchd").string(), plistName, program.string()});
  return processes.run("/bin/sh", arguments, SupervisorStartLimits).exitCode == 0;
}

class SimAgentService final : public AgentService {
 public:
  SimAgentService(fs::path root, std::string plistName, fs::path program, ProcessRunner& processes)
      : root_(std::move(root)), plistName_(std::move(plistName)), program_(std::move(program)), processes_(processes) {}

  // Only a question, as the system's status is: keeping the agent alive is launchd's business. A
  // registration that cannot be looked at is not one the system could run.
  AgentStatus status() override {
    if (isJobName(plistName_) && isRegistered()) return AgentStatus::enabled;
    return typeOf(program_) == fs::file_type::regular ? AgentStatus::notRegistered : AgentStatus::notFound;
  }

  bool registerAgent() override {
    if (!isJobName(plistName_) || typeOf(program_) != fs::file_type::regular) return false;
    if (isRegistered() && claimOn(jobLockFile(root_, plistName_)) == Claim::heldByAnother) return true;
    try {
      replaceFileAtomically(registrationFile(root_, plistName_), registrationText(program_));
    } catch (const std::exception&) {
      return false;
    }
    return startSupervisor(processes_, plistName_, program_);
  }

  // The registration goes first, so that its launchd, seeing its agent end, does not start it again.
  bool unregisterAgent() override {
    if (!isJobName(plistName_) || !isRegistered()) return false;
    const pid_t agent = runningAgent(root_, plistName_, program_).value_or(0);
    std::error_code failed;
    fs::remove(registrationFile(root_, plistName_), failed);
    if (failed) return false;
    if (agent > 0) ::kill(agent, SIGTERM);
    return true;
  }

 private:
  bool isRegistered() const {
    const auto type = typeOf(registrationFile(root_, plistName_));
    return type != fs::file_type::not_found && type != fs::file_type::none;
  }

  fs::path root_;
  std::string plistName_;
  fs::path program_;
  ProcessRunner& processes_;
};

}  // namespace

std::unique_ptr<AgentService> SimAgentServices::agentServiceWithPlistName(const std::string& plistName) {
  return std::make_unique<SimAgentService>(root_, plistName, program_, processes_);
}

void SimAgentServices::startRegisteredAgents() {
  std::error_code failed;
  fs::directory_iterator entry(root_ / "Library" / "LaunchAgents", failed);
  for (; !failed && entry != fs::directory_iterator(); entry.increment(failed)) {
    const std::string name = entry->path().filename().string();
    if (!isJobName(name) || readFile(entry->path()) != registrationText(program_)) continue;
    if (claimOn(jobLockFile(root_, name)) == Claim::free) startSupervisor(processes_, name, program_);
  }
}

}  // namespace corvel::sim
