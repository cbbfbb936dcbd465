// The ports the settings commands are wired to: Corvel's defaults and the time, and nothing that
// starts the application, listens for it or claims anything, so that a setting can be changed from a
// terminal while Corvel runs, or before it ever has.
#pragma once

#include <memory>

#include "clock.h"
#include "settings_store.h"

namespace corvel {

// References only; whoever builds it owns the adapters.
struct SettingsPlatform {
  SettingsStore& defaults;  // the very domain the application reads at each refresh
  Clock& clock;
};

class SettingsServices {
 public:
  virtual ~SettingsServices() = default;
  virtual SettingsPlatform& platform() = 0;
};

// Owns the store of the platform the program was built for. Throws std::runtime_error, with one line
// saying why, when there is no store to reach.
std::unique_ptr<SettingsServices> makeSettingsServices();

}  // namespace corvel
