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
  using Clock = std::chrono::steady_clock;
  // `now` tells the loop the time; tests give one they move by hand.
  explicit SimApplication(std::function<Clock::time_point()> now = Clock::now) : now_(std::move(now)) {}

  void setDelegate(ApplicationDelegate* delegate) override { delegate_ = delegate; }
  void setActivationPolicyRegular() override { regular_ = true; }
  // Delivers the did-finish-launching callback, then turns the loop until a quit is allowed.
  void run() override;
  // Asks the delegate; when it answers now, delivers will-terminate and ends the process with status
  // 0, from whatever depth of nested loops it was asked. Never returns after will-terminate.
  void terminate() override;
  std::shared_ptr<Timer> scheduleRepeatingTimer(std::chrono::milliseconds interval,
                                                std::function<void()> action) override;
  void dispatchAfter(std::chrono::milliseconds delay, std::function<void()> task) override;
  void runOnce(std::chrono::milliseconds maxWait) override;

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

  Clock::duration untilNextDue(Clock::time_point now) const;
  bool runDue();

  std::function<Clock::time_point()> now_;
  ApplicationDelegate* delegate_ = nullptr;
  bool regular_ = false;
  bool stopped_ = false;
  std::vector<std::shared_ptr<RepeatingTimer>> timers_;
  std::list<DelayedTask> tasks_;
  std::vector<Watch> watches_;
};

}  // namespace corvel::sim
