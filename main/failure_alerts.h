// The one place a failure becomes what the person reads: its alert, with its texts and style.
#pragma once

#include <optional>

#include "main/outcome.h"
#include "ports/alerts.h"

namespace corvel {

// None for a failure the person caused or need not hear of. The alert has no buttons of its own: the
// platform's single default button dismisses it.
std::optional<AlertRequest> alertFor(Failure failure);
// Shows the failure's alert, if it has one, and waits until it is dismissed.
void tell(Alerts& alerts, Failure failure);

}  // namespace corvel
