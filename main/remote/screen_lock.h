// Reading the screen-lock setting from `sysadminctl -screenLock status`.
#pragma once

#include <string_view>

#include "main/settings.h"

namespace corvel {

// The only place the tool's answer is interpreted. Looks at the whole text, lower-cased; a phrase
// counts wherever it stands. Anything unrecognised is unknown.
ScreenLockState parseScreenLockState(std::string_view output);

}  // namespace corvel
