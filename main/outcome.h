// What a flow came to: done, or the one reason it stopped. Flows return it; the application decides
// what the person is told (failure_alerts.h).
#pragma once

#include <optional>

namespace corvel {

enum class Failure {
  // Nothing to tell: the person's own answer, or a click while another switch is under way.
  cancelled,
  switchInProgress,
  // Touch ID.
  touchIDUnavailable,
  touchIDRejected,
  // The set-up of a mode that disables the screen lock.
  setupPasswordWrong,
  permissionNotInstalled,
  screenLockNotDisabled,
  screenLockStillOn,
  // Putting the Mac back.
  restorePasswordWrong,
  screenLockNotRestored,
  sleepSwitchUnreadable,
  sleepNotAllowedAgain,
  // Switching.
  sleepSwitchFailed,
  // Quitting.
  quitRefusedWhileOn,
  restoreIncomplete,
  // Registering the watchdog, where the person can put it right.
  watchdogNeedsApproval,
  watchdogSignatureRefused,
};

class [[nodiscard]] Outcome {
 public:
  constexpr Outcome() = default;
  constexpr Outcome(Failure failure) : failure_(failure) {}  // NOLINT(google-explicit-constructor)

  constexpr explicit operator bool() const { return !failure_; }
  constexpr std::optional<Failure> failure() const { return failure_; }
  friend constexpr bool operator==(const Outcome&, const Outcome&) = default;

 private:
  std::optional<Failure> failure_;
};

inline constexpr Outcome Done{};

}  // namespace corvel
