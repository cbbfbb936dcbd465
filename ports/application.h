// Port: the application object, its delegate callbacks and the main thread's event loop.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace corvel {

enum class TerminateReply { cancel, now };

// A scheduled repeating timer; it keeps firing for the life of the application.
class Timer {
 public:
  virtual ~Timer() = default;
};

// Callbacks the application object delivers on the event-loop thread.
class ApplicationDelegate {
 public:
  virtual ~ApplicationDelegate() = default;
  virtual void applicationDidFinishLaunching() = 0;
  virtual bool applicationShouldHandleReopen(bool hasVisibleWindows) = 0;
  virtual TerminateReply applicationShouldTerminate() = 0;
  virtual void applicationWillTerminate() = 0;
};

class Application {
 public:
  virtual ~Application() = default;
  virtual void setDelegate(ApplicationDelegate* delegate) = 0;
  // A regular application: it has a Dock tile and can be activated.
  virtual void setActivationPolicyRegular() = 0;
  // Runs the event loop; returns once the loop has been stopped.
  virtual void run() = 0;
  // A quit request from the application itself: it meets the delegate's quit guard like any other.
  virtual void terminate() = 0;
  // A repeating timer on the event loop; the first firing is one interval from now. Lives as long
  // as the application.
  virtual std::shared_ptr<Timer> scheduleRepeatingTimer(std::chrono::milliseconds interval,
                                                        std::function<void()> action) = 0;
  // A one-shot task on the event loop after `delay`. A task that must not keep its target alive
  // captures it weakly.
  virtual void dispatchAfter(std::chrono::milliseconds delay, std::function<void()> task) = 0;
  // Turns the event loop once: handles what is due, waiting at most `maxWait` for something to
  // arrive. Used for waits that must keep the interface responsive; may run nested.
  virtual void runOnce(std::chrono::milliseconds maxWait) = 0;
};

}  // namespace corvel
