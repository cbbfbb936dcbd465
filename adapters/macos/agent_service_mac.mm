// Launch agents of the application on the Mac: SMAppService.
#import <ServiceManagement/ServiceManagement.h>

#include <optional>

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

  bool registerAgent() override { return !registerAgentReturningFailure(); }

  std::optional<AgentRegistrationFailure> registerAgentReturningFailure() override {
    NSError* error = nil;
    if ([service_ registerAndReturnError:&error]) return std::nullopt;
    // Service Management's own codes; the system's other domains reuse the same small numbers.
    // https://developer.apple.com/documentation/servicemanagement/service-management-errors
    if (error == nil || [error.domain isEqualToString:NSPOSIXErrorDomain] ||
        [error.domain isEqualToString:NSOSStatusErrorDomain]) {
      return AgentRegistrationFailure::other;
    }
    switch (error.code) {
      case kSMErrorLaunchDeniedByUser:
        return AgentRegistrationFailure::requiresApproval;
      case kSMErrorInvalidSignature:
        return AgentRegistrationFailure::invalidSignature;
      default:
        return AgentRegistrationFailure::other;
    }
  }

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
