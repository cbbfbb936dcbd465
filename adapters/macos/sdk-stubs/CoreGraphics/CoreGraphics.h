// Declaration-only stand-in for the parts of CoreGraphics the Mac adapters use, for the syntax check.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#define CG_EXTERN CF_EXTERN_C

typedef double CGFloat;
struct CGPoint {
  CGFloat x;
  CGFloat y;
};
typedef struct CGPoint CGPoint;
struct CGSize {
  CGFloat width;
  CGFloat height;
};
typedef struct CGSize CGSize;
struct CGRect {
  CGPoint origin;
  CGSize size;
};
typedef struct CGRect CGRect;

// NULL when the caller runs outside a window-server (login) session, as from SSH
// (developer.apple.com/documentation/coregraphics/cgsessioncopycurrentdictionary()).
CG_EXTERN CFDictionaryRef _Nullable CGSessionCopyCurrentDictionary(void) CF_RETURNS_RETAINED;
