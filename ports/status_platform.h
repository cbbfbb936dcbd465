// The ports the status check is wired to: only what reads, never what changes, so that asking how
// the Mac stands can never alter it.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "agent_service.h"
#include "clock.h"
#include "defaults_reader.h"
#include "machine.h"
#include "process_runner.h"
#include "session.h"
#include "tool_paths.h"
#include "workspace.h"

namespace corvel {

// Port: whether a launch agent's program runs now.
class AgentProcesses {
 public:
  virtual ~AgentProcesses() = default;
  // None where the system does not tell.
  virtual std::optional<bool> isAgentRunning(const std::string& plistName) = 0;
};

// References only; whoever builds it owns the adapters. The status check runs the three reading
// tools and asks the agent service for its status only: it never registers, launches or writes.
struct StatusPlatform {
  ProcessRunner& processes;
  DefaultsReader& defaults;
  Session& session;
  AgentServices& agents;
  AgentProcesses& agentProcesses;
  Workspace& workspace;
  Machine& machine;
  Clock& clock;  // the collaborators it reads through are built with one; a reading never waits on it
  ToolPaths tools;
  // The folder the whole system lives in, when it is missing (the simulated Mac's folder): then
  // nothing is asked at all, so nothing can make it. Never set on a real Mac.
  std::optional<std::string> missingSystemFolder;
};

class StatusServices {
 public:
  virtual ~StatusServices() = default;
  virtual StatusPlatform& platform() = 0;
};

// Owns the reading adapters of the platform the program was built for; creates nothing.
std::unique_ptr<StatusServices> makeStatusServices();

}  // namespace corvel
