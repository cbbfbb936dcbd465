// What the two programs know of each other: the bundle identifier, the agent's property list and the
// one argument the watchdog passes. Nothing else crosses between them.
#pragma once

#include <string>
#include <string_view>

#include "corvel/build_config.h"

namespace corvel {

inline const std::string bundleIdentifier{AppBundleIdentifier};
// The launch agent's property list inside the application bundle.
inline const std::string watchdogPlistName = std::string(AppBundleIdentifier) + ".watchdog.plist";
// The watchdog opens Corvel with this one argument, so that a relaunch keeps the stored state.
inline constexpr std::string_view WatchdogLaunchArgument = "--watchdog-launch";

}  // namespace corvel
