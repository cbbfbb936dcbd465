// Declaration-only stand-in for the power-management key the Mac adapters use, for the syntax check
// on Linux, as in Apple's IOPM.h.
#pragma once

// A CFBoolean property of IOPMrootDomain: true while the lid is closed, false while it is open, and
// absent on a Mac without one. Apple explains it in xnu's IOPMPrivate.h
// (https://github.com/apple-oss-distributions/xnu/blob/main/iokit/IOKit/pwr_mgt/IOPMPrivate.h); the
// developer documentation has no page for it.
#define kAppleClamshellStateKey "AppleClamshellState"
