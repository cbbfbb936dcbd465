// Registering and unregistering the simulated launch agent.
#include "agent_service_sim.h"

#include <csignal>
#include <cstdlib>
#include <string>

#include "sim/sim_root.h"

namespace corvel::sim {
namespace fs = std::filesystem;

pid_t registeredAgentPid(const fs::path& registrationFile) {
  const auto text = readFile(registrationFile);
  if (!text) return 0;
  const auto at = text->find("pid=");
  if (at == std::string::npos) return 0;
  try {
    return static_cast<pid_t>(std::stol(text->substr(at + 4)));
  } catch (const std::exception&) {
    return 0;
  }
}

namespace {

class SimAgentService final : public AgentService {
 public:
  SimAgentService(fs::path file, fs::path program, ProcessRunner& processes)
      : file_(std::move(file)), program_(std::move(program)), processes_(processes) {}

  AgentStatus status() override {
    if (fs::exists(file_)) return AgentStatus::enabled;
    return fs::exists(program_) ? AgentStatus::notRegistered : AgentStatus::notFound;
  }

  bool registerAgent() override {
    if (!fs::exists(program_)) return false;
    // Started in a session of its own and left to the system, like an agent launchd runs: it must
    // not share Corvel's terminal or die with it, and it gets launchd's few variables, not Corvel's
    // environment. The sim root goes along, since it is the machine itself.
    std::vector<std::string> arguments{"-c", "setsid env -i \"$@\" </dev/null >/dev/null 2>&1 & echo $!", "sh"};
    for (const char* name : {"HOME", "PATH", "USER", "LOGNAME", "TMPDIR", "XDG_STATE_HOME", "CORVEL_SIM_ROOT"}) {
      if (const char* value = std::getenv(name)) arguments.push_back(std::string(name) + "=" + value);
    }
    arguments.push_back(program_.string());
    const ProcessResult started = processes_.run("/bin/sh", arguments);
    if (started.exitCode != 0) return false;
    try {
      replaceFileAtomically(file_, "program=" + program_.string() + "\npid=" + started.output);
    } catch (const std::exception&) {
      return false;
    }
    return true;
  }

  bool unregisterAgent() override {
    if (!fs::exists(file_)) return false;
    if (const pid_t pid = registeredAgentPid(file_); pid > 0) ::kill(pid, SIGTERM);
    std::error_code failed;
    fs::remove(file_, failed);
    return !failed;
  }

 private:
  fs::path file_;
  fs::path program_;
  ProcessRunner& processes_;
};

}  // namespace

std::unique_ptr<AgentService> SimAgentServices::agentServiceWithPlistName(const std::string& plistName) {
  return std::make_unique<SimAgentService>(root_ / "Library" / "LaunchAgents" / plistName, program_, processes_);
}

}  // namespace corvel::sim
