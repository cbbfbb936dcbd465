// Corvel's process-wide identifiers, fixed before anything else looks at them.
#pragma once

#include <string>

#include "corvel/build_config.h"

namespace corvel {

inline const std::string bundleIdentifier{AppBundleIdentifier};
// The launch agent's property list inside the application bundle.
inline const std::string watchdogPlistName = std::string(AppBundleIdentifier) + ".watchdog.plist";

}  // namespace corvel
