// The simulated event loop. Like the platform's run loop, it may be turned from inside one of its
// own callbacks; a timer never fires again while its own action is still running.
#include "application_sim.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <poll.h>

namespace corvel::sim {

struct SimApplication::RepeatingTimer final : Timer {
  Clock::duration interval;
  Clock::time_point due;
  std::function<void()> action;
  bool firing = false;
};

void SimApplication::run() {
  if (delegate_) delegate_->applicationDidFinishLaunching();
  while (!stopped_) runOnce(std::chrono::hours(1));
}

void SimApplication::terminate() {
  if (delegate_ && delegate_->applicationShouldTerminate() != TerminateReply::now) return;
  if (delegate_) delegate_->applicationWillTerminate();
  // The platform's terminate: ends the process here. Returning would hand control back to whatever
  // was waiting underneath (a fingerprint prompt, say), which would then act after the clean-up.
  std::fflush(nullptr);
  std::exit(0);
}

std::shared_ptr<Timer> SimApplication::scheduleRepeatingTimer(std::chrono::milliseconds interval,
                                                              std::function<void()> action) {
  auto timer = std::make_shared<RepeatingTimer>();
  // As the platform's timers do, an interval of zero or less is taken as a tenth of a millisecond.
  timer->interval = std::max<Clock::duration>(interval, std::chrono::microseconds(100));
  timer->due = now_() + timer->interval;
  timer->action = std::move(action);
  timers_.push_back(timer);
  return timer;
}

void SimApplication::dispatchAfter(std::chrono::milliseconds delay, std::function<void()> task) {
  tasks_.push_back({now_() + std::max(delay, std::chrono::milliseconds(0)), std::move(task)});
}

void SimApplication::watchInput(int fd, std::function<void()> onReadable, std::function<bool()> hasBuffered) {
  unwatchInput(fd);
  watches_.push_back({fd, std::move(onReadable), std::move(hasBuffered)});
}

void SimApplication::unwatchInput(int fd) {
  std::erase_if(watches_, [fd](const Watch& w) { return w.fd == fd; });
}

SimApplication::Clock::duration SimApplication::untilNextDue(Clock::time_point now) const {
  auto next = Clock::time_point::max();
  for (const auto& timer : timers_) {
    if (!timer->firing) next = std::min(next, timer->due);
  }
  for (const auto& task : tasks_) next = std::min(next, task.due);
  if (next == Clock::time_point::max()) return std::chrono::hours(24);
  return std::max(next - now, Clock::duration(0));
}

bool SimApplication::runDue() {
  // What fell due first runs first, when the loop has fallen behind; a task before a timer due at
  // the same moment.
  const auto now = now_();
  auto task = tasks_.end();
  for (auto it = tasks_.begin(); it != tasks_.end(); ++it) {
    if (it->due <= now && (task == tasks_.end() || it->due < task->due)) task = it;
  }
  std::shared_ptr<RepeatingTimer> timer;
  for (const auto& candidate : timers_) {
    if (!candidate->firing && candidate->due <= now && (!timer || candidate->due < timer->due)) timer = candidate;
  }
  if (task != tasks_.end() && (!timer || task->due <= timer->due)) {
    auto run = std::move(task->task);
    tasks_.erase(task);
    run();
    return true;
  }
  if (!timer) return false;
  // Missed firings are not made up for, and the next one keeps to the timer's schedule, as with the
  // platform's timers: the first of its firing times still ahead.
  timer->due += timer->interval * ((now - timer->due) / timer->interval + 1);
  timer->firing = true;
  timer->action();
  timer->firing = false;
  return true;
}

void SimApplication::runOnce(std::chrono::milliseconds maxWait) {
  for (const auto& w : watches_) {
    if (w.hasBuffered && w.hasBuffered()) {
      auto callback = w.onReadable;
      callback();
      return;
    }
  }
  const auto wait = std::min(untilNextDue(now_()), Clock::duration(std::max(maxWait, std::chrono::milliseconds(0))));
  std::vector<pollfd> fds;
  for (const auto& w : watches_) fds.push_back({w.fd, POLLIN, 0});
  const int timeoutMs = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(wait).count());
  const int ready = ::poll(fds.data(), fds.size(), timeoutMs);
  if (ready > 0) {
    for (const auto& p : fds) {
      if (!(p.revents & (POLLIN | POLLHUP | POLLERR))) continue;
      const auto it = std::find_if(watches_.begin(), watches_.end(), [&](const Watch& w) { return w.fd == p.fd; });
      if (it == watches_.end()) continue;
      auto callback = it->onReadable;  // the callback may unwatch or run the loop again
      callback();
      return;
    }
  }
  runDue();
}

}  // namespace corvel::sim
