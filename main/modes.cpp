// The table of protection modes.
#include "modes.h"

#include <array>

namespace corvel {
namespace {

constexpr std::array modeTable{
    ModeTraits{ProtectionMode::standard, "standard", "通常モード", "通常モード", false, false, false, "現在：OFF"},
    // Off, the screen lock stays disabled even while sleep prevention is off.
    ModeTraits{ProtectionMode::remoteStrong, "remoteStrong", "リモート強制モード", "リモート強制モード", true, true,
               true, "現在：OFF（ロック防止は常時ON）"},
};

// Names every mode once, so that -Wswitch points here when one is added, and the check below then
// asks for its row.
constexpr bool isProtectionMode(ProtectionMode mode) {
  switch (mode) {
    case ProtectionMode::standard:
    case ProtectionMode::remoteStrong:
      return true;
  }
  return false;
}

constexpr bool rowsFollowTheEnumeration() {
  for (std::size_t i = 0; i < modeTable.size(); ++i) {
    if (modeTable[i].mode != static_cast<ProtectionMode>(i)) return false;
  }
  return !isProtectionMode(static_cast<ProtectionMode>(modeTable.size()));
}
static_assert(rowsFollowTheEnumeration(), "modeTable needs one row per ProtectionMode, in the enumeration's order");

}  // namespace

const ModeTraits& traits(ProtectionMode mode) { return modeTable[static_cast<std::size_t>(mode)]; }

std::span<const ModeTraits> protectionModes() { return modeTable; }

}  // namespace corvel
