// The simulated launch-agent registry: a registration is a file in Library/LaunchAgents under the
// sim root, and registering starts the agent program at once, as the system does.
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

 private:
  std::filesystem::path root_;
  std::filesystem::path program_;
  ProcessRunner& processes_;
};

// The pid of the agent started for the registration file, or 0.
pid_t registeredAgentPid(const std::filesystem::path& registrationFile);

}  // namespace corvel::sim
