// The Mac's own condition: its power sources (IOKit), its thermal state (NSProcessInfo), and its lid
// (the clamshell state the power-management root domain keeps in the I/O Registry).
#import <Foundation/Foundation.h>
#import <IOKit/IOKitLib.h>
#import <IOKit/ps/IOPSKeys.h>
#import <IOKit/ps/IOPowerSources.h>
#import <IOKit/pwr_mgt/IOPM.h>

#include <algorithm>

#include "adapters_mac.h"

namespace corvel::mac {
namespace {

// A number in a power source's description, where not every key is in every description.
std::optional<NSInteger> numberIn(NSDictionary* description, NSString* key) {
  id value = [description objectForKey:key];
  if (![value isKindOfClass:NSNumber.class]) return std::nullopt;
  return [static_cast<NSNumber*>(value) integerValue];
}

bool stringIn(NSDictionary* description, NSString* key, NSString* expected) {
  id value = [description objectForKey:key];
  return [value isKindOfClass:NSString.class] && [static_cast<NSString*>(value) isEqualToString:expected];
}

class MacMachine final : public Machine {
 public:
  std::optional<BatteryReading> battery() override {
    @autoreleasepool {
      // The snapshot and the list are the caller's ("Copy"); ARC releases them. Each description
      // belongs to the snapshot, which outlives it here.
      // https://developer.apple.com/documentation/iokit/1523839-iopscopypowersourcesinfo
      id snapshot = CFBridgingRelease(IOPSCopyPowerSourcesInfo());
      if (snapshot == nil) return std::nullopt;
      // https://developer.apple.com/documentation/iokit/1523856-iopscopypowersourceslist
      NSArray* sources = CFBridgingRelease(IOPSCopyPowerSourcesList((__bridge CFTypeRef)snapshot));
      for (id source in sources) {
        // https://developer.apple.com/documentation/iokit/1523867-iopsgetpowersourcedescription
        NSDictionary* description = (__bridge NSDictionary*)IOPSGetPowerSourceDescription((__bridge CFTypeRef)snapshot,
                                                                                          (__bridge CFTypeRef)source);
        // A UPS is a power source too, and a slot may stand empty; neither is the Mac's battery.
        if (!stringIn(description, @kIOPSTypeKey, @kIOPSInternalBatteryType)) continue;
        if (numberIn(description, @kIOPSIsPresentKey).value_or(0) == 0) continue;
        const auto current = numberIn(description, @kIOPSCurrentCapacityKey);
        const auto maximum = numberIn(description, @kIOPSMaxCapacityKey);
        if (!current || !maximum || *maximum <= 0) return std::nullopt;
        // Apple's own batteries publish percent, but the keys' page makes Current over Max the
        // percentage whatever the unit, as pmset does.
        // https://developer.apple.com/documentation/iokit/kiopscurrentcapacitykey
        const NSInteger percent = std::clamp<NSInteger>(*current * 100 / *maximum, 0, 100);
        // https://developer.apple.com/documentation/iokit/iopowersources_h/1810316-iopsgetprovidingpowersourcetype
        NSString* providing = (__bridge NSString*)IOPSGetProvidingPowerSourceType((__bridge CFTypeRef)snapshot);
        const bool onBattery = [providing isEqualToString:@kIOPSBatteryPowerValue] != NO;
        return BatteryReading{static_cast<int>(percent), onBattery};
      }
      return std::nullopt;
    }
  }

  std::optional<ThermalState> thermalState() override {
    // https://developer.apple.com/documentation/foundation/processinfo/thermalstate-swift.property
    switch (NSProcessInfo.processInfo.thermalState) {
      case NSProcessInfoThermalStateNominal:
        return ThermalState::nominal;
      case NSProcessInfoThermalStateFair:
        return ThermalState::fair;
      case NSProcessInfoThermalStateSerious:
        return ThermalState::serious;
      case NSProcessInfoThermalStateCritical:
        return ThermalState::critical;
      // A step a later system adds is one this program cannot place; without a default, a new case
      // in a later SDK would fail the build, whose warnings are errors.
      default:
        return std::nullopt;
    }
  }

  std::optional<bool> lidClosed() override {
    @autoreleasepool {
      // The lookup consumes the matching dictionary; the service it finds is the caller's.
      // https://developer.apple.com/documentation/iokit/1514687-ioservicematching
      // https://developer.apple.com/documentation/iokit/1514535-ioservicegetmatchingservice
      const io_service_t rootDomain =
          IOServiceGetMatchingService(kIOMainPortDefault, IOServiceMatching("IOPMrootDomain"));
      if (rootDomain == IO_OBJECT_NULL) return std::nullopt;
      // https://developer.apple.com/documentation/iokit/1514293-ioregistryentrycreatecfproperty
      id closed = CFBridgingRelease(
          IORegistryEntryCreateCFProperty(rootDomain, CFSTR(kAppleClamshellStateKey), kCFAllocatorDefault, 0));
      // https://developer.apple.com/documentation/iokit/1514627-ioobjectrelease
      IOObjectRelease(rootDomain);
      // Absent on a Mac without a lid.
      if (![closed isKindOfClass:NSNumber.class]) return std::nullopt;
      return [static_cast<NSNumber*>(closed) boolValue] != NO;
    }
  }
};

}  // namespace

std::unique_ptr<Machine> makeMachine() { return std::make_unique<MacMachine>(); }

}  // namespace corvel::mac
