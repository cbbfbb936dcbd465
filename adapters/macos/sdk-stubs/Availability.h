// Declaration-only stand-in for <Availability.h> and <os/availability.h>, for the syntax check on
// Linux. As in Apple's SDK, __MAC_OS_X_VERSION_MAX_ALLOWED is the SDK's own version unless the
// build sets it: a declaration newer than 13.0 is visible only when it says the SDK has it, so a
// call that only a newer SDK declares fails to compile here as it would with that SDK (Xcode 14
// ships the macOS 13 SDK). The check runs once as each SDK we support.
// https://developer.apple.com/documentation/xcode/running-code-on-a-specific-version
#pragma once

#define __MAC_13_0 130000
#define __MAC_14_0 140000

#ifndef __MAC_OS_X_VERSION_MAX_ALLOWED
#define __MAC_OS_X_VERSION_MAX_ALLOWED __MAC_14_0
#endif

#ifndef __MAC_OS_X_VERSION_MIN_REQUIRED
#define __MAC_OS_X_VERSION_MIN_REQUIRED __MAC_13_0
#endif

// API_AVAILABLE(macos(14.0)) becomes availability(macos,introduced=14.0), as in <os/availability.h>.
// The compiler here aims at Linux, so it keeps the attribute but does not act on it.
// https://developer.apple.com/documentation/swift/marking-api-availability-in-objective-c
#define __API_AVAILABLE_PLATFORM_macos(x) availability(macos,introduced=x)
#define API_AVAILABLE(platform) __attribute__((__API_AVAILABLE_PLATFORM_##platform))
