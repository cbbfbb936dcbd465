// Setting the Mac up for remote strong mode, and putting it back.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "main/engine/sleep_switch.h"
#include "main/remote/confirmations.h"
#include "main/remote/limited_permission.h"
#include "main/remote/screen_lock.h"
#include "main/outcome.h"
#include "main/settings.h"
#include "ports/alerts.h"
#include "ports/settings_store.h"
#include "support/secret.h"

namespace corvel {

// The longest delay the screen-lock tool takes, in seconds.
inline constexpr std::int64_t MaximumScreenLockDelay = 2147483647;

// The setting to put back, from the stored text: a whole number (optional sign, decimal digits) from
// 1 to the longest delay the tool takes is a delay; anything else, "off", zero, a negative number,
// a number the tool would refuse and an absent value included, is immediate, so a restore never
// switches the lock off and can always be carried out and confirmed.
ScreenLockState decodePreviousScreenLockState(const std::optional<std::string>& stored);

class RemoteMode {
 public:
  RemoteMode(Alerts& alerts, SettingsStore& defaults, ScreenLock& screenLock, SleepSwitch& sleepSwitch,
             LimitedPermission& permission, Confirmations& confirmations)
      : alerts_(alerts),
        defaults_(defaults),
        screenLock_(screenLock),
        sleepSwitch_(sleepSwitch),
        permission_(permission),
        confirmations_(confirmations) {}

  // Confirmation, the login password, the limited permission, then the screen lock switched off and
  // remembered; done when the lock reads off at the end.
  Outcome setupRemoteMode();
  // Sleep allowed again and the screen lock put back as it was before Corvel switched it off. The
  // login password is asked, when the lock needs it, before anything changes; a restore that fails
  // leaves system sleep as it found it.
  Outcome restoreRemoteSettings();
  // The same, with the password asked ahead by askRestorePassword (asked here if it is none and the
  // lock needs it after all).
  Outcome restoreRemoteSettings(std::optional<SecretText> password);
  // For a flow that changes other things before the restore: asks for the login password when the
  // screen lock is Corvel's to put back, and checks it. `password` stays none when the lock needs
  // nothing.
  Outcome askRestorePassword(std::optional<SecretText>& password);

 private:
  Outcome requestRestorePassword(std::optional<SecretText>& password);

  Alerts& alerts_;
  SettingsStore& defaults_;
  ScreenLock& screenLock_;
  SleepSwitch& sleepSwitch_;
  LimitedPermission& permission_;
  Confirmations& confirmations_;
};

}  // namespace corvel
