// The one-button alert through which failures are reported.
#include "main/app_delegate.h"

namespace corvel {

void AppDelegate::showAlert(const std::string& title, const std::string& message, AlertStyle style) {
  // No buttons of our own: the platform's single default button dismisses it.
  platform_.alerts.runModal({title, message, style, {}, std::nullopt});
}

}  // namespace corvel
