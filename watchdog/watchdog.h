// CorvelWatchdog's work: start Corvel again whenever it is not running.
#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "ports/workspace.h"
#include "support/identity.h"

namespace corvel::watchdog {

inline constexpr std::chrono::milliseconds CheckInterval = std::chrono::seconds(5);

// One check and, when Corvel is not running but installed, one request to open it in the
// background with the single argument "--watchdog-launch".
void launchMainAppIfNeeded(Workspace& workspace, const std::string& targetBundleIdentifier);

// Checks at once, then again 5 seconds after the end of each check, for as long as `keepGoing`
// says (in the program: for ever). `sleep` blocks the thread; nothing else runs meanwhile.
void runChecks(
    Workspace& workspace, const std::string& targetBundleIdentifier,
    const std::function<void(std::chrono::milliseconds)>& sleep,
    const std::function<bool()>& keepGoing = [] { return true; });

}  // namespace corvel::watchdog
