// Wires the status check to the simulated Mac: reading adapters only, and none of the wiring that
// makes, claims or listens on the sim root, so that asking never alters the machine.
#include <filesystem>

#include "adapters/posix/system_posix.h"
#include "agent_service_sim.h"
#include "launchd_jobs.h"
#include "machine_sim.h"
#include "corvel/build_config.h"
#include "defaults_reader_sim.h"
#include "process_runner_sim.h"
#include "ports/status_platform.h"
#include "sim_root.h"
#include "system_sim.h"
#include "workspace_sim.h"

namespace corvel {
namespace {
namespace fs = std::filesystem;

// The agent runs while the process its launchd recorded still runs the agent's program, so a pid
// reused by another process is not taken for it.
class SimAgentProcesses final : public AgentProcesses {
 public:
  SimAgentProcesses(fs::path root, fs::path program) : root_(std::move(root)), program_(std::move(program)) {}
  std::optional<bool> isAgentRunning(const std::string& plistName) override {
    const auto pid = sim::runningAgent(root_, plistName, program_);
    if (!pid) return std::nullopt;
    return *pid > 0;
  }

 private:
  fs::path root_;
  fs::path program_;
};

class SimStatusServices final : public StatusServices {
 public:
  explicit SimStatusServices(fs::path root)
      : root_(std::move(root)),
        processes_(root_),
        defaults_(root_, AppBundleIdentifier),
        session_(root_),
        agents_(root_, sim::programFolder() / "CorvelWatchdog", processes_),
        agentProcesses_(root_, sim::programFolder() / "CorvelWatchdog"),
        workspace_(root_, sim::programFolder()),
        machine_(root_),
        platform_{.processes = processes_,
                  .defaults = defaults_,
                  .session = session_,
                  .agents = agents_,
                  .agentProcesses = agentProcesses_,
                  .workspace = workspace_,
                  .machine = machine_,
                  .clock = clock_,
                  .tools = toolPaths(),
                  .missingSystemFolder = missing()} {}

  StatusPlatform& platform() override { return platform_; }

 private:
  static ToolPaths toolPaths() {
    const fs::path folder = sim::programFolder() / "sim";
    return {folder / "caffeinate", folder / "sudo", folder / "pmset", folder / "sysadminctl"};
  }
  std::optional<std::string> missing() const {
    std::error_code failed;
    if (fs::is_directory(root_, failed)) return std::nullopt;
    return root_.string();
  }

  fs::path root_;
  sim::SimProcessRunner processes_;
  sim::SimDefaultsReader defaults_;
  sim::SimSession session_;
  sim::SimAgentServices agents_;
  SimAgentProcesses agentProcesses_;
  sim::SimWorkspace workspace_;
  sim::SimMachine machine_;
  PosixClock clock_;
  StatusPlatform platform_;
};

}  // namespace

std::unique_ptr<StatusServices> makeStatusServices() { return std::make_unique<SimStatusServices>(sim::rootFolder()); }

}  // namespace corvel
