// Declaration-only stand-in for the power-source keys the Mac adapters use, for the syntax check on
// Linux: C strings, with the values of Apple's IOPSKeys.h (its open-source IOKitUser, ps.subproj).
#pragma once

// "InternalBattery" or "UPS".
#define kIOPSTypeKey "Type"
#define kIOPSInternalBatteryType "InternalBattery"
// A CFBoolean: a slot may hold no battery.
#define kIOPSIsPresentKey "Is Present"
// Apple's own sources publish percent; the percentage is Current over Max in any case.
// https://developer.apple.com/documentation/iokit/kiopscurrentcapacitykey
#define kIOPSCurrentCapacityKey "Current Capacity"
// https://developer.apple.com/documentation/iokit/kiopsmaxcapacitykey
#define kIOPSMaxCapacityKey "Max Capacity"
#define kIOPSACPowerValue "AC Power"
#define kIOPSBatteryPowerValue "Battery Power"
