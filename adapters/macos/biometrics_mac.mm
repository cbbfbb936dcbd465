// Touch ID on the Mac: one LAContext per confirmation.
#import <LocalAuthentication/LocalAuthentication.h>

#include "adapters_mac.h"
#include "string_bridge.h"

namespace corvel::mac {
namespace {

class MacBiometricContext final : public BiometricContext {
 public:
  void setLocalizedCancelTitle(const std::string& title) override { context_.localizedCancelTitle = toNSString(title); }

  // An empty string, not nil: nil would bring back the system's default fallback button.
  void setLocalizedFallbackTitle(const std::string& title) override {
    context_.localizedFallbackTitle = toNSString(title);
  }

  bool canEvaluateBiometrics() override {
    return [context_ canEvaluatePolicy:LAPolicyDeviceOwnerAuthenticationWithBiometrics error:nil];
  }

  void evaluateBiometrics(const std::string& reason, std::function<void(bool success)> reply) override {
    [context_ evaluatePolicy:LAPolicyDeviceOwnerAuthenticationWithBiometrics
             localizedReason:toNSString(reason)
                       reply:^(BOOL success, NSError*) {
                         reply(success);
                       }];
  }

 private:
  LAContext* context_ = [[LAContext alloc] init];
};

class MacBiometrics final : public Biometrics {
 public:
  std::unique_ptr<BiometricContext> makeContext() override { return std::make_unique<MacBiometricContext>(); }
};

}  // namespace

std::unique_ptr<Biometrics> makeBiometrics() { return std::make_unique<MacBiometrics>(); }

}  // namespace corvel::mac
