// Remembering and restoring the screen-lock setting that remote strong mode switches off.
#pragma once

#include <optional>
#include <string>

#include "main/settings.h"

namespace corvel {

// The setting to put back, from the stored text: a positive whole number (optional sign, decimal
// digits) is a delay; anything else, "off", zero, a negative number and an absent value included,
// is immediate, so a restore never switches the lock off and can always be confirmed.
ScreenLockState decodePreviousScreenLockState(const std::optional<std::string>& stored);

}  // namespace corvel
