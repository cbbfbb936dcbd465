// CorvelWatchdog's checking loop, and keeping it registered while Corvel is meant to run.
#include <gtest/gtest.h>
#include <tuple>

#include "tests/unit/fakes.h"
#include "watchdog/watchdog.h"

namespace corvel::test {
namespace {

// A relaunch must not wait for the first pause, and a Corvel not found now may be installed later.
TEST(WatchdogTest, ChecksAtOnceThenAfterEachPauseAndOpensOnlyAStoppedCorvelInTheBackground) {
  FakeLaunchServices workspace;
  int pauses = 0;
  const auto pause = [&](std::chrono::duration<double> length) {
    EXPECT_GT(length.count(), 0);
    EXPECT_EQ(workspace.opened.size(), pauses == 0 ? 1u : 0u) << "checks before pause " << pauses;
    workspace.opened.clear();
    workspace.corvelRunning = ++pauses == 1;            // at the second check
    if (pauses == 2) workspace.corvelLocation.reset();  // at the third: not installed
    if (pauses == 3) workspace.corvelLocation = "/Applications/Corvel.app";
  };
  watchdog::runChecks(workspace, "app.corvel.Corvel", pause, [&] { return pauses < 3; });
  EXPECT_EQ(workspace.opened, (Strings{"/Applications/Corvel.app --watchdog-launch"}));
}

TEST(WatchdogRegistrationTest, RegistersUnlessEnabledUnregistersOnlyWhatIsEnabledAndSkipsOnlyWhenAsked) {
  // The agent's status, CORVEL_SKIP_SERVICE, and what registering and then unregistering asks.
  const std::tuple<AgentStatus, std::optional<std::string>, Strings> table[] = {
      {AgentStatus::enabled, std::nullopt, {"unregister"}},
      {AgentStatus::notRegistered, std::nullopt, {"register", "unregister"}},
      {AgentStatus::requiresApproval, "0", {"register", "unregister"}},
      {AgentStatus::enabled, "1", {}}};
  for (const auto& [status, skip, calls] : table) {
    Rig rig;
    if (skip) rig.mac.variables["CORVEL_SKIP_SERVICE"] = *skip;
    rig.launch.agentStatus = status;
    WatchdogRegistration registration(rig.launch, rig.mac);
    registration.registerWatchdogIfNeeded();
    registration.unregisterWatchdog();
    EXPECT_EQ(rig.launch.agentCalls, calls) << static_cast<int>(status) << " " << skip.value_or("");
  }
}

}  // namespace
}  // namespace corvel::test
