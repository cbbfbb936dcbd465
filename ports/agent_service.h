// Port: the system's registry of per-user launch agents that belong to the application.
#pragma once

#include <memory>
#include <string>

namespace corvel {

enum class AgentStatus { notRegistered, enabled, requiresApproval, notFound };

class AgentService {
 public:
  virtual ~AgentService() = default;
  virtual AgentStatus status() = 0;
  // True on success; failures carry no detail worth showing.
  virtual bool registerAgent() = 0;
  virtual bool unregisterAgent() = 0;
};

class AgentServices {
 public:
  virtual ~AgentServices() = default;
  // Always an object, also when no such property list exists (its status then says not found).
  virtual std::unique_ptr<AgentService> agentServiceWithPlistName(const std::string& plistName) = 0;
};

}  // namespace corvel
