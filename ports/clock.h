// Port: wall-clock time and plain thread sleeps, so waits can be driven deterministically in tests.
#pragma once

#include <chrono>

namespace corvel {

// Every port takes its durations as std::chrono::milliseconds: each wait Corvel has is a whole number
// of them, and whole numbers add and compare exactly, where seconds in a double would round.
class Clock {
 public:
  using TimePoint = std::chrono::system_clock::time_point;
  virtual ~Clock() = default;
  virtual TimePoint now() = 0;
  // Blocks the calling thread; no events are processed meanwhile.
  virtual void sleepFor(std::chrono::milliseconds length) = 0;
};

}  // namespace corvel
