// Port: the system's registry of per-user launch agents that belong to the application.
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace corvel {

enum class AgentStatus { notRegistered, enabled, requiresApproval, notFound };

// Why registering failed, as far as the person can act on it.
enum class AgentRegistrationFailure { requiresApproval, invalidSignature, other };

class AgentService {
 public:
  virtual ~AgentService() = default;
  virtual AgentStatus status() = 0;
  // True on success.
  virtual bool registerAgent() = 0;
  virtual bool unregisterAgent() = 0;
  // Registers; none on success, else why it failed. A service that cannot tell says other.
  virtual std::optional<AgentRegistrationFailure> registerAgentReturningFailure() {
    if (registerAgent()) return std::nullopt;
    return AgentRegistrationFailure::other;
  }
};

class AgentServices {
 public:
  virtual ~AgentServices() = default;
  // Always an object, also when no such property list exists (its status then says not found).
  virtual std::unique_ptr<AgentService> agentServiceWithPlistName(const std::string& plistName) = 0;
};

}  // namespace corvel
