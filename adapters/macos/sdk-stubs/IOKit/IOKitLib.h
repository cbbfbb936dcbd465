// Declaration-only stand-in for the parts of IOKitLib the Mac adapters use, for the syntax check on
// Linux. Signatures follow Apple's public documentation.
#pragma once

#include <Availability.h>
#include <CoreFoundation/CoreFoundation.h>
#include <stdint.h>

typedef unsigned int mach_port_t;
typedef int kern_return_t;
typedef uint32_t IOOptionBits;
typedef mach_port_t io_object_t;
typedef io_object_t io_registry_entry_t;
typedef io_object_t io_service_t;

#define IO_OBJECT_NULL ((io_object_t)0)

CF_EXTERN_C_BEGIN

// A synonym for MACH_PORT_NULL, the default main port; macOS 12 and later.
// https://developer.apple.com/documentation/iokit/kiomainportdefault
extern const mach_port_t kIOMainPortDefault API_AVAILABLE(macos(12.0));

// The dictionary is the caller's, unless a lookup consumes it.
// https://developer.apple.com/documentation/iokit/1514687-ioservicematching
CFMutableDictionaryRef _Nullable IOServiceMatching(const char* _Nullable name) CF_RETURNS_RETAINED;

// Consumes one reference of `matching`; the service returned is the caller's to release.
// https://developer.apple.com/documentation/iokit/1514535-ioservicegetmatchingservice
io_service_t IOServiceGetMatchingService(mach_port_t mainPort, CFDictionaryRef _Nullable matching CF_RELEASES_ARGUMENT);

// A snapshot of one property, the caller's to release; NULL when the entry has no such property.
// https://developer.apple.com/documentation/iokit/1514293-ioregistryentrycreatecfproperty
CFTypeRef _Nullable IORegistryEntryCreateCFProperty(io_registry_entry_t entry, CFStringRef _Nullable key,
                                                    CFAllocatorRef _Nullable allocator, IOOptionBits options)
    CF_RETURNS_RETAINED;

// https://developer.apple.com/documentation/iokit/1514627-ioobjectrelease
kern_return_t IOObjectRelease(io_object_t object);

CF_EXTERN_C_END
