// The simulated event loop on a clock moved by hand: what runs, in which order, and how often.
#include <gtest/gtest.h>

#include <cctype>

#include "sim/application_sim.h"

namespace corvel::test {
namespace {

using namespace std::chrono_literals;
using std::chrono::milliseconds;

TEST(SimApplicationTest, RunsWhatIsDueInDueOrderOnceEachAlsoNestedButNeverAFiringTimerAgain) {
  // What is scheduled: a timer ('t') or a task ('d') with its interval or delay and the name it notes,
  // in capitals one that nests; the times the loop is turned at, five times at each; and what ran.
  using Work = std::tuple<char, milliseconds, std::string>;
  const std::tuple<std::vector<Work>, std::vector<milliseconds>, std::string> table[] = {
      // A loop behind by several runs what is due in the order it fell due, timers among tasks.
      {{{'t', 35ms, "L"}, {'d', 20ms, "b"}, {'d', 10ms, "a"}, {'t', 15ms, "S"}}, {40ms}, "aSbL"},
      // Missed firings are not replayed: once, then on the timer's own schedule (at 50, not 45 + 10).
      {{{'t', 10ms, "T"}}, {45ms, 49ms, 50ms}, "TT"},
      // A turn nested in a task or a timer's action runs other due work, but never that timer.
      {{{'D', 10ms, "A"}, {'d', 20ms, "b"}}, {30ms}, "A(b)"},
      {{{'T', 10ms, "T"}, {'d', 50ms, "b"}}, {10ms}, "T(b)"},
  };
  for (const auto& [work, turns, ran] : table) {
    sim::SimApplication::Clock::time_point now;
    sim::SimApplication loop([&now] { return now; });
    std::string log;
    for (const auto& [kind, time, name] : work) {
      // One that nests turns the loop twice, 100 ms later, between brackets, the first time it runs.
      const std::function<void()> action = [&, name = name, nests = std::isupper(kind) != 0]() mutable {
        log += name;
        if (!std::exchange(nests, false)) return;
        log += "(";
        const auto then = std::exchange(now, now + 100ms);
        loop.runOnce(0ms);
        loop.runOnce(0ms);
        now = then;
        log += ")";
      };
      if (std::tolower(kind) == 't') loop.scheduleRepeatingTimer(time, action);
      if (std::tolower(kind) == 'd') loop.dispatchAfter(time, action);
    }
    for (const auto time : turns) {
      now = decltype(now)(time);
      for (int i = 0; i < 5; ++i) loop.runOnce(0ms);
    }
    EXPECT_EQ(log, ran);
  }
}

}  // namespace
}  // namespace corvel::test
