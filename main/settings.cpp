// Protection modes, screen-lock states and the two screen-lock decisions.
#include "settings.h"

#include <algorithm>

namespace corvel {

std::string_view rawValue(ProtectionMode mode) {
  return mode == ProtectionMode::standard ? "standard" : "remoteStrong";
}

std::string_view displayName(ProtectionMode mode) {
  return mode == ProtectionMode::standard ? "通常モード" : "リモート強制モード";
}

std::optional<ProtectionMode> protectionModeFromRawValue(std::string_view raw) {
  for (ProtectionMode mode : allProtectionModes) {
    if (rawValue(mode) == raw) return mode;
  }
  return std::nullopt;
}

std::string ScreenLockState::sysadminctlValue() const {
  switch (kind_) {
    case Kind::delay: return std::to_string(std::max<std::int64_t>(0, seconds_));
    case Kind::off: return "off";
    case Kind::immediate:
    case Kind::unknown: return "immediate";
  }
  return "immediate";
}

std::string describe(const ScreenLockState& state) {
  switch (state.kind()) {
    case ScreenLockState::Kind::delay: return "delay(" + std::to_string(state.seconds()) + ")";
    case ScreenLockState::Kind::off: return "off";
    case ScreenLockState::Kind::immediate: return "immediate";
    case ScreenLockState::Kind::unknown: return "unknown";
  }
  return "unknown";
}

ScreenLockState normalizedPreviousLockState(const ScreenLockState& state) {
  return state.kind() == ScreenLockState::Kind::delay ? state : ScreenLockState::immediate();
}

bool shouldRestoreScreenLock(bool changedByApp, const ScreenLockState& currentState) {
  return changedByApp && currentState == ScreenLockState::off();
}

}  // namespace corvel
