// The simulated application object: an event loop over timers, delayed tasks and input descriptors.
#pragma once

#include <chrono>
#include <functional>
#include <list>
#include <memory>
#include <vector>

#include "ports/application.h"

namespace corvel::sim {

class SimApplication final : public Application {
 public:
  void setDelegate(ApplicationDelegate* delegate) override { delegate_ = delegate; }
  void setActivationPolicyRegular() override { regular_ = true; }
  // Delivers the did-finish-launching callback, then turns the loop until a quit is allowed.
  void run() override;
  // Asks the delegate; when it answers now, delivers will-terminate and ends the process with status
  // 0, from whatever depth of nested loops it was asked. Never returns after will-terminate.
  void terminate() override;
  std::shared_ptr<Timer> scheduleRepeatingTimer(double intervalSeconds, std::function<void()> action) override;
  void dispatchAfter(double delaySeconds, std::function<void()> task) override;
  void runOnce(double maxSeconds) override;

  // Calls `onReadable` on the loop whenever `fd` has something to read (or has reached its end), or
  // when `hasBuffered` says input already read is still waiting to be handled.
  void watchInput(int fd, std::function<void()> onReadable, std::function<bool()> hasBuffered = nullptr);
  void unwatchInput(int fd);
  // A click on the Dock tile, or opening the application again while it runs.
  void reopen() {
    if (delegate_) delegate_->applicationShouldHandleReopen(false);
  }
  // Stops the loop without asking anyone; run() then returns.
  void stop() { stopped_ = true; }
  bool isRegular() const { return regular_; }
  bool isStopped() const { return stopped_; }

 private:
  using Clock = std::chrono::steady_clock;
  struct RepeatingTimer;
  struct DelayedTask {
    Clock::time_point due;
    std::function<void()> task;
  };
  struct Watch {
    int fd;
    std::function<void()> onReadable;
    std::function<bool()> hasBuffered;
  };

  std::chrono::duration<double> untilNextDue(Clock::time_point now) const;
  bool runDue();

  ApplicationDelegate* delegate_ = nullptr;
  bool regular_ = false;
  bool stopped_ = false;
  std::vector<std::shared_ptr<RepeatingTimer>> timers_;
  std::list<DelayedTask> tasks_;
  std::vector<Watch> watches_;
};

}  // namespace corvel::sim
