// The simulated launch-agent registry: a registration is a file in Library/LaunchAgents under the
// sim root, and registering hands the agent to the simulated launchd, which starts it at once and
// keeps it running while it stays registered, as the system does.
#pragma once

#include <filesystem>

#include "ports/agent_service.h"
#include "ports/process_runner.h"

namespace corvel::sim {

class SimAgentServices final : public AgentServices {
 public:
  // `program` is the agent's executable; a missing one makes its status "not found".
  SimAgentServices(std::filesystem::path root, std::filesystem::path program, ProcessRunner& processes)
      : root_(std::move(root)), program_(std::move(program)), processes_(processes) {}
  std::unique_ptr<AgentService> agentServiceWithPlistName(const std::string& plistName) override;

  // What launchd does at login: every agent registered for `program` whose launchd stand-in is not
  // running gets one again (after a reboot, or once everything of the machine was killed).
  void startRegisteredAgents();

 private:
  std::filesystem::path root_;
  std::filesystem::path program_;
  ProcessRunner& processes_;
};

}  // namespace corvel::sim
