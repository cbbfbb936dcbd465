// Port: modal alerts, optionally with a masked text field for a password.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "support/secret.h"

namespace corvel {

enum class AlertStyle { warning = 0, informational = 1, critical = 2 };

// The first button answers 1000, the second 1001, and so on.
inline constexpr int AlertFirstButtonReturn = 1000;

struct SecureField {
  double x = 0, y = 0, width = 320, height = 24;
  std::string placeholder;
};

struct AlertRequest {
  std::string messageText;      // the bold first line
  std::string informativeText;  // the paragraph below it
  std::optional<AlertStyle> style;  // none: the platform's default
  // In order; none at all shows the platform's single default button.
  std::vector<std::string> buttons;
  std::optional<SecureField> secureField;
};

struct AlertResponse {
  int response = 0;
  // What was typed into the secure field, read when the alert closed; the field itself has been
  // cleared by then.
  SecretText fieldText;
};

class Alerts {
 public:
  virtual ~Alerts() = default;
  // Runs the alert modally and returns once it has been dismissed.
  virtual AlertResponse runModal(const AlertRequest& request) = 0;
};

}  // namespace corvel
