// Port: wall-clock time and plain thread sleeps, so waits can be driven deterministically in tests.
#pragma once

#include <chrono>

namespace corvel {

class Clock {
 public:
  using TimePoint = std::chrono::system_clock::time_point;
  virtual ~Clock() = default;
  virtual TimePoint now() = 0;
  // Blocks the calling thread; no events are processed meanwhile.
  virtual void sleepFor(std::chrono::duration<double> seconds) = 0;
};

}  // namespace corvel
