// Port: the system's biometric (Touch ID) confirmation.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace corvel {

// One authentication context, used for one confirmation.
class BiometricContext {
 public:
  virtual ~BiometricContext() = default;
  virtual void setLocalizedCancelTitle(const std::string& title) = 0;
  // An empty title offers no fallback to the password.
  virtual void setLocalizedFallbackTitle(const std::string& title) = 0;
  // Whether biometrics-only authentication is available and enrolled.
  virtual bool canEvaluateBiometrics() = 0;
  // Shows the system prompt; `reply` is called exactly once, on a thread of the service's choosing.
  virtual void evaluateBiometrics(const std::string& reason, std::function<void(bool success)> reply) = 0;
};

class Biometrics {
 public:
  virtual ~Biometrics() = default;
  virtual std::unique_ptr<BiometricContext> makeContext() = 0;
};

}  // namespace corvel
