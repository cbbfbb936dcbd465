// Registering and unregistering the simulated launch agent.
#include "agent_service_sim.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <limits>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>

#include "adapters/posix/process_info.h"
#include "sim/sim_root.h"
#include "support/decimal.h"

namespace corvel::sim {
namespace fs = std::filesystem;

namespace {

// The shell only starts the agent in the background and says its pid.
constexpr RunLimits AgentStartLimits{std::chrono::seconds(10), ToolOutputCap};

// The value of `name` in a registration file: one "name=value" line each.
std::optional<std::string> recorded(const std::string& text, std::string_view name) {
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.size() > name.size() && line.starts_with(name) && line[name.size()] == '=') {
      return line.substr(name.size() + 1);
    }
  }
  return std::nullopt;
}

pid_t asPid(const std::optional<std::string>& text) {
  const auto number = text ? parseDecimal(*text) : std::nullopt;
  if (!number || *number > std::numeric_limits<pid_t>::max()) return 0;
  return static_cast<pid_t>(*number);
}

}  // namespace

pid_t registeredAgentPid(const fs::path& registrationFile) {
  const auto text = readFile(registrationFile);
  return text ? asPid(recorded(*text, "pid")) : 0;
}

namespace {

// When the kernel started `pid` (clock ticks since boot, field 22 of /proc/<pid>/stat): with the pid,
// it names one process for good, where a pid alone may since belong to another.
std::optional<std::string> startTimeOf(pid_t pid) {
  const auto stat = readFile(fs::path("/proc") / std::to_string(pid) / "stat");
  if (!stat) return std::nullopt;
  // The command name in parentheses may itself hold blanks and ")", so fields count from the last.
  std::istringstream fields(stat->substr(std::min(stat->rfind(')') + 1, stat->size())));
  std::string field;
  for (int number = 3; number <= 22 && fields >> field; ++number) {
    if (number == 22) return field;
  }
  return std::nullopt;
}

class SimAgentService final : public AgentService {
 public:
  SimAgentService(fs::path file, fs::path program, ProcessRunner& processes)
      : file_(std::move(file)), program_(std::move(program)), processes_(processes) {}

  AgentStatus status() override {
    if (!fs::exists(file_)) return fs::exists(program_) ? AgentStatus::notRegistered : AgentStatus::notFound;
    // KeepAlive, as launchd does it: a registered agent found dead is started again.
    if (!runningAgent()) start();
    return AgentStatus::enabled;
  }

  bool registerAgent() override {
    if (!fs::exists(program_)) return false;
    if (fs::exists(file_) && runningAgent()) return true;
    return start();
  }

  bool unregisterAgent() override {
    if (!fs::exists(file_)) return false;
    if (const auto pid = runningAgent()) ::kill(*pid, SIGTERM);
    std::error_code failed;
    fs::remove(file_, failed);
    return !failed;
  }

 private:
  // The agent the registration started, while it runs: the recorded pid, started at the recorded
  // time, running the agent's program (or on its way there through the launch's setsid and env,
  // whose arguments name it). Anything else the pid may belong to by now is left alone.
  std::optional<pid_t> runningAgent() {
    const auto text = readFile(file_);
    if (!text) return std::nullopt;
    const pid_t pid = asPid(recorded(*text, "pid"));
    const auto started = recorded(*text, "started");
    if (pid <= 0 || !started || startTimeOf(pid) != started) return std::nullopt;
    const auto command = commandLineOf(pid);
    if (!command || std::find(command->begin(), command->end(), program_.string()) == command->end()) {
      return std::nullopt;
    }
    return pid;
  }

  bool start() {
    // Started in a session of its own and left to the system, like an agent launchd runs: it must
    // not share Corvel's terminal or die with it, and it gets launchd's few variables, not Corvel's
    // environment. The sim root goes along, since it is the machine itself.
    std::vector<std::string> arguments{"-c", "setsid env -i \"$@\" </dev/null >/dev/null 2>&1 & echo $!", "sh"};
    for (const char* name : {"HOME", "PATH", "USER", "LOGNAME", "TMPDIR", "XDG_STATE_HOME", "CORVEL_SIM_ROOT"}) {
      if (const char* value = std::getenv(name)) arguments.push_back(std::string(name) + "=" + value);
    }
    arguments.push_back(program_.string());
    const ProcessResult started = processes_.run("/bin/sh", arguments, AgentStartLimits);
    if (started.exitCode != 0) return false;
    std::string pid = started.output;
    if (!pid.empty() && pid.back() == '\n') pid.pop_back();
    const auto startTime = startTimeOf(asPid(pid));
    try {
      replaceFileAtomically(
          file_, "program=" + program_.string() + "\npid=" + pid + "\nstarted=" + startTime.value_or("") + "\n");
    } catch (const std::exception&) {
      return false;
    }
    return true;
  }

  fs::path file_;
  fs::path program_;
  ProcessRunner& processes_;
};

}  // namespace

std::unique_ptr<AgentService> SimAgentServices::agentServiceWithPlistName(const std::string& plistName) {
  return std::make_unique<SimAgentService>(root_ / "Library" / "LaunchAgents" / plistName, program_, processes_);
}

}  // namespace corvel::sim
