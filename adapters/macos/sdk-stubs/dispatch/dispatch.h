// Declaration-only stand-in for the parts of libdispatch the Mac adapters use, for the syntax check.
#pragma once

#include <stdint.h>

// Apple's headers make queues Objective-C objects under ARC; an opaque pointer checks the same calls.
typedef struct dispatch_queue_s* dispatch_queue_t;
typedef struct dispatch_queue_s* dispatch_queue_main_t;
typedef uint64_t dispatch_time_t;
typedef void (^dispatch_block_t)(void);

#define DISPATCH_TIME_NOW (0ull)
#define NSEC_PER_SEC 1000000000ull

#if defined(__cplusplus)
extern "C" {
#endif
dispatch_time_t dispatch_time(dispatch_time_t when, int64_t delta);
dispatch_queue_main_t dispatch_get_main_queue(void);
void dispatch_after(dispatch_time_t when, dispatch_queue_t queue, dispatch_block_t block);
#if defined(__cplusplus)
}
#endif
