// What the status item, its menu and the Dock icon show for each state.
#pragma once

#include <string>

#include "main/settings.h"

namespace corvel {

enum class DisplayState { locked, on, off };

// The lock is shown only while protection is really in force.
DisplayState displayStateFor(bool effectivelyOn, bool sessionLocked);

struct StatusTexts {
  std::string title;
  std::string toolTip;
  std::string statusLine;
  std::string toggleTitle;
};

StatusTexts statusTexts(DisplayState state, ProtectionMode mode);

}  // namespace corvel
