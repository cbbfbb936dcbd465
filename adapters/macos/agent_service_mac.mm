// Launch agents of the application on the Mac: SMAppService.
#import <ServiceManagement/ServiceManagement.h>

#include "adapters_mac.h"
#include "string_bridge.h"

namespace corvel::mac {
namespace {

class MacAgentService final : public AgentService {
 public:
  explicit MacAgentService(SMAppService* service) : service_(service) {}

  AgentStatus status() override {
    switch (service_.status) {
      case SMAppServiceStatusNotRegistered:
        return AgentStatus::notRegistered;
      case SMAppServiceStatusEnabled:
        return AgentStatus::enabled;
      case SMAppServiceStatusRequiresApproval:
        return AgentStatus::requiresApproval;
      case SMAppServiceStatusNotFound:
        return AgentStatus::notFound;
      // A status a later system adds is one this program cannot act on; without a default, a new
      // case in a later SDK would fail the build, whose warnings are errors.
      default:
        return AgentStatus::notFound;
    }
  }

  bool registerAgent() override { return [service_ registerAndReturnError:nil]; }
  bool unregisterAgent() override { return [service_ unregisterAndReturnError:nil]; }

 private:
  SMAppService* service_;
};

class MacAgentServices final : public AgentServices {
 public:
  std::unique_ptr<AgentService> agentServiceWithPlistName(const std::string& plistName) override {
    return std::make_unique<MacAgentService>([SMAppService agentServiceWithPlistName:toNSString(plistName)]);
  }
};

}  // namespace

std::unique_ptr<AgentServices> makeAgentServices() { return std::make_unique<MacAgentServices>(); }

}  // namespace corvel::mac
