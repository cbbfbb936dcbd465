// Protection modes, screen-lock states, the two screen-lock decisions, and the settings over the store.
#include "settings.h"

#include <algorithm>

namespace corvel {

std::string_view rawValue(ProtectionMode mode) { return traits(mode).raw; }

std::string_view displayName(ProtectionMode mode) { return traits(mode).displayName; }

std::optional<ProtectionMode> protectionModeFromRawValue(std::string_view raw) {
  for (const ModeTraits& row : protectionModes()) {
    if (row.raw == raw) return row.mode;
  }
  return std::nullopt;
}

std::string ScreenLockState::sysadminctlValue() const {
  switch (kind_) {
    case Kind::delay:
      return std::to_string(std::max<std::int64_t>(0, seconds_));
    case Kind::off:
      return "off";
    case Kind::immediate:
    case Kind::unknown:
      return "immediate";
  }
  return "immediate";
}

std::string describe(const ScreenLockState& state) {
  switch (state.kind()) {
    case ScreenLockState::Kind::delay:
      return "delay(" + std::to_string(state.seconds()) + ")";
    case ScreenLockState::Kind::off:
      return "off";
    case ScreenLockState::Kind::immediate:
      return "immediate";
    case ScreenLockState::Kind::unknown:
      return "unknown";
  }
  return "unknown";
}

ScreenLockState normalizedPreviousLockState(const ScreenLockState& state) {
  return state.kind() == ScreenLockState::Kind::delay ? state : ScreenLockState::immediate();
}

ProtectionMode Settings::mode() const {
  const auto stored = defaults_.string(keys::protectionMode);
  return protectionModeFromRawValue(stored.value_or("standard")).value_or(ProtectionMode::standard);
}

void Settings::setMode(ProtectionMode mode) { defaults_.setString(keys::protectionMode, rawValue(mode)); }

bool Settings::enabled() const { return defaults_.boolean(keys::protectionEnabled); }

void Settings::setEnabled(bool on) { defaults_.setBoolean(keys::protectionEnabled, on); }

bool shouldRestoreScreenLock(bool changedByApp, const ScreenLockState& currentState) {
  return changedByApp && currentState == ScreenLockState::off();
}

}  // namespace corvel
