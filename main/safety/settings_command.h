// The safety guard's settings from a terminal: shown, changed, and the running time limit extended,
// all in the store the running Corvel reads at each refresh, so that it follows without a restart.
#pragma once

#include <chrono>
#include <string>

#include "main/safety/guard_settings.h"
#include "ports/settings_platform.h"

namespace corvel {

// What the command prints and its exit status; each text is whole lines.
struct CommandOutput {
  int exitStatus = 0;
  std::string out;  // for standard output
  std::string err;  // for standard error
};

// One line per setting, with its value as `--set` takes it and whether that is the default; or one
// JSON object.
CommandOutput showGuardSettings(SettingsPlatform& platform, bool json);
// Stores `setting` as `asked` holds it. A time limit set while protection is on runs from now: its
// deadline is written; one switched off takes the deadline away.
CommandOutput setGuardSetting(SettingsPlatform& platform, GuardSetting setting, const GuardSettings& asked);
// Moves the running time limit's deadline `extension` later; status 1, with nothing written, when
// protection is off, no time limit is set or no deadline is stored.
CommandOutput extendTimeLimit(SettingsPlatform& platform, std::chrono::minutes extension);

}  // namespace corvel
