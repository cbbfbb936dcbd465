// Declaration-only stand-in for the Objective-C basics of Apple's SDK, for the syntax check on Linux.
#pragma once

#include <Availability.h>

// The compiler provides id, Class, SEL and instancetype itself.
#if defined(__arm64__) || defined(__aarch64__)
typedef bool BOOL;
#else
typedef signed char BOOL;
#endif
#define YES __objc_yes
#define NO __objc_no

#if defined(__cplusplus)
#define nil nullptr
#else
#define nil ((void*)0)
#endif

#define NS_ASSUME_NONNULL_BEGIN _Pragma("clang assume_nonnull begin")
#define NS_ASSUME_NONNULL_END _Pragma("clang assume_nonnull end")
