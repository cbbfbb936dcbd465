// The one-button alert through which failures are reported.
#pragma once

#include <string>

#include "ports/alerts.h"

namespace corvel {

// No buttons of our own: the platform's single default button dismisses it.
inline void showAlert(Alerts& alerts, const std::string& title, const std::string& message,
                      AlertStyle style = AlertStyle::warning) {
  alerts.runModal({title, message, style, {}, std::nullopt});
}

}  // namespace corvel
