// Port: modal alerts, optionally with a masked text field for a password.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "support/secret.h"

namespace corvel {

enum class AlertStyle { warning, informational, critical };

// A masked, single-line text field below the texts; the platform sizes it for a password.
struct SecureField {
  std::string placeholder;
};

struct AlertRequest {
  std::string messageText;          // the bold first line
  std::string informativeText;      // the paragraph below it
  std::optional<AlertStyle> style;  // none: the platform's default
  // In order; none at all shows the platform's single default button.
  std::vector<std::string> buttons;
  std::optional<SecureField> secureField;
};

struct AlertResponse {
  // The index of the pressed button in the request's order (0: the first, or the platform's single
  // default button); none when the alert ended without a press.
  std::optional<std::size_t> pressedButton;
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
