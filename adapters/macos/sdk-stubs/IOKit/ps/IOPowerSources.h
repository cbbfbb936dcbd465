// Declaration-only stand-in for the parts of IOKit's power-source API the Mac adapters use, for the
// syntax check on Linux. Signatures follow Apple's public documentation: a "Copy" result is the
// caller's to release, a "Get" result belongs to the snapshot it came from.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

CF_EXTERN_C_BEGIN

// NULL on error.
// https://developer.apple.com/documentation/iokit/1523839-iopscopypowersourcesinfo
CFTypeRef _Nullable IOPSCopyPowerSourcesInfo(void) CF_RETURNS_RETAINED;

// NULL on error.
// https://developer.apple.com/documentation/iokit/1523856-iopscopypowersourceslist
CFArrayRef _Nullable IOPSCopyPowerSourcesList(CFTypeRef _Nullable blob) CF_RETURNS_RETAINED;

// Keys as in IOPSKeys.h; not every key is in every description. NULL on error.
// https://developer.apple.com/documentation/iokit/1523867-iopsgetpowersourcedescription
CFDictionaryRef _Nullable IOPSGetPowerSourceDescription(CFTypeRef _Nullable blob, CFTypeRef _Nullable ps)
    CF_RETURNS_NOT_RETAINED;

// One of "AC Power", "Battery Power" or "UPS Power".
// https://developer.apple.com/documentation/iokit/iopowersources_h/1810316-iopsgetprovidingpowersourcetype
CFStringRef _Nullable IOPSGetProvidingPowerSourceType(CFTypeRef _Nullable snapshot) CF_RETURNS_NOT_RETAINED;

CF_EXTERN_C_END
