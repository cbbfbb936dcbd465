// The protection modes and what each one needs and decides: one row per mode, read everywhere a
// mode makes a difference.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

namespace corvel {

// A new mode is appended here and given its row in modes.cpp; the compiler names what else is missing.
enum class ProtectionMode { standard, remoteStrong };

struct ModeTraits {
  ProtectionMode mode;
  std::string_view raw;          // the stored value and the name in the diagnostic line; never changes
  std::string_view displayName;  // in the status texts
  std::string_view menuTitle;    // its entry in the mode submenu
  bool needsTouchID;             // every switch is confirmed with a finger
  bool forbidsSystemSleep;       // through the limited permission, which the set-up installs
  bool disablesScreenLock;       // the set-up switches it off; leaving the mode puts it back
  std::string_view offStatusLine;
};

const ModeTraits& traits(ProtectionMode mode);
// Every mode, in the enumeration's order.
std::span<const ModeTraits> protectionModes();

}  // namespace corvel
