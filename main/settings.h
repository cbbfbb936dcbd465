// The vocabulary Corvel works in: protection modes, screen-lock states, and the persisted keys.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "main/modes.h"
#include "ports/settings_store.h"

namespace corvel {

std::string_view rawValue(ProtectionMode mode);
std::string_view displayName(ProtectionMode mode);
// Exactly the raw values of the modes, case-sensitive; anything else is none.
std::optional<ProtectionMode> protectionModeFromRawValue(std::string_view raw);

// The macOS screen-lock setting: whether and when a password is needed after sleep or the screen
// saver begins.
class ScreenLockState {
 public:
  enum class Kind { delay, off, immediate, unknown };

  static ScreenLockState delay(std::int64_t seconds) { return {Kind::delay, seconds}; }
  static ScreenLockState off() { return {Kind::off, 0}; }
  static ScreenLockState immediate() { return {Kind::immediate, 0}; }
  static ScreenLockState unknown() { return {Kind::unknown, 0}; }

  Kind kind() const { return kind_; }
  // Meaningful for a delay only.
  std::int64_t seconds() const { return seconds_; }

  // The value for `sysadminctl -screenLock` and the persisted form: "off", "immediate", or the
  // decimal seconds of a delay (negative sent as "0"); unknown is sent as "immediate".
  std::string sysadminctlValue() const;

  // A delay equals only a delay of the same seconds; delay(0) is neither off nor immediate.
  friend bool operator==(const ScreenLockState& a, const ScreenLockState& b) {
    return a.kind_ == b.kind_ && (a.kind_ != Kind::delay || a.seconds_ == b.seconds_);
  }

 private:
  ScreenLockState(Kind kind, std::int64_t seconds) : kind_(kind), seconds_(seconds) {}
  Kind kind_;
  std::int64_t seconds_;
};

std::string describe(const ScreenLockState& state);  // for test messages and diagnostics

// The setting to remember before the lock is switched off: never off or unknown.
ScreenLockState normalizedPreviousLockState(const ScreenLockState& state);
// True exactly when Corvel switched the lock off and it is still off.
bool shouldRestoreScreenLock(bool changedByApp, const ScreenLockState& currentState);

// The mode and the on/off state, read from and written to the store at every call: never cached, so
// the store stays the one source of truth.
class Settings {
 public:
  explicit Settings(SettingsStore& defaults) : defaults_(defaults) {}
  // An unknown stored text reads as standard without being written back: the store stays as it was.
  ProtectionMode mode() const;
  void setMode(ProtectionMode mode);
  bool enabled() const;
  void setEnabled(bool on);

 private:
  SettingsStore& defaults_;
};

namespace keys {
inline constexpr std::string_view protectionMode = "ProtectionMode";
inline constexpr std::string_view protectionEnabled = "ProtectionEnabled";
inline constexpr std::string_view didDisableScreenLock = "DidDisableScreenLock";
inline constexpr std::string_view previousScreenLockState = "PreviousScreenLockState";
// The caffeinate child last started, so a relaunch after a crash can take charge of it: its pid, and
// beside it "<start time> <owner uid>", which tell it apart from a later holder of the same pid.
inline constexpr std::string_view caffeinateProcessIdentifier = "CaffeinateProcessIdentifier";
inline constexpr std::string_view caffeinateProcessIdentity = "CaffeinateProcessIdentity";
}  // namespace keys

}  // namespace corvel
