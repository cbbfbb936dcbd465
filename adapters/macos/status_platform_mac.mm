// Wires the status check to the Mac: the reading adapters only, and nothing that makes the shared
// application object, so it runs as well from an SSH session as from Terminal.
#include "adapters/posix/process_runner_posix.h"
#include "adapters/posix/system_posix.h"
#include "adapters_mac.h"
#include "ports/status_platform.h"

namespace corvel {
namespace {

// SMAppService tells an agent's status but not whether its program runs.
class UnknownAgentProcesses final : public AgentProcesses {
 public:
  std::optional<bool> isAgentRunning(const std::string&) override { return std::nullopt; }
};

class MacStatusServices final : public StatusServices {
 public:
  MacStatusServices()
      : defaults_(mac::makeDefaultsReader()),
        session_(mac::makeSession()),
        agents_(mac::makeAgentServices()),
        workspace_(mac::makeWorkspace()),
        machine_(mac::makeMachine()),
        platform_{.processes = processes_,
                  .defaults = *defaults_,
                  .session = *session_,
                  .agents = *agents_,
                  .agentProcesses = agentProcesses_,
                  .workspace = *workspace_,
                  .machine = *machine_,
                  .clock = clock_,
                  .tools = macToolPaths(),
                  .missingSystemFolder = std::nullopt} {}

  StatusPlatform& platform() override { return platform_; }

 private:
  PosixProcessRunner processes_;
  std::unique_ptr<DefaultsReader> defaults_;
  std::unique_ptr<Session> session_;
  std::unique_ptr<AgentServices> agents_;
  UnknownAgentProcesses agentProcesses_;
  std::unique_ptr<Workspace> workspace_;
  std::unique_ptr<Machine> machine_;
  PosixClock clock_;
  StatusPlatform platform_;
};

}  // namespace

std::unique_ptr<StatusServices> makeStatusServices() { return std::make_unique<MacStatusServices>(); }

}  // namespace corvel
