// CorvelWatchdog's checking loop, and keeping it registered while Corvel is meant to run.
#include "tests/unit/fakes.h"
#include "watchdog/watchdog.h"

namespace corvel::test {
namespace {

// A relaunch must not wait for the first pause, and a Corvel not found now may be installed later.
TEST(WatchdogTest, ChecksAtOnceThenAfterEachPauseAndOpensOnlyAStoppedCorvelInTheBackground) {
  FakeLaunchServices workspace;
  int pauses = 0;
  const auto pause = [&](std::chrono::milliseconds length) {
    EXPECT_EQ(length, std::chrono::seconds(5));
    EXPECT_EQ(workspace.opened.size(), pauses == 0 ? 1u : 0u) << "checks before pause " << pauses;
    workspace.opened.clear();
    workspace.corvelRunning = ++pauses == 1;            // at the second check
    if (pauses == 2) workspace.corvelLocation.reset();  // at the third: not installed
    if (pauses == 3) workspace.corvelLocation = "/Applications/Corvel.app";
  };
  watchdog::runChecks(workspace, "app.corvel.Corvel", pause, [&] { return pauses < 3; });
  EXPECT_EQ(workspace.opened, (Strings{"/Applications/Corvel.app --watchdog-launch"}));
}

// Only what the person can put right is worth an alert, and one a launch is enough; any other failure
// leaves Corvel protecting as before, silently.
TEST(WatchdogRegistrationTest, RegistersUnlessEnabledUnregistersOnlyWhatIsEnabledAndTellsOnceWhatThePersonCanPutRight) {
  using F = AgentRegistrationFailure;
  using S = AgentStatus;
  constexpr auto approval = Failure::watchdogNeedsApproval, refused = Failure::watchdogSignatureRefused;
  // The status before, how registering fails and the status after it, CORVEL_SKIP_SERVICE; what
  // registering and then unregistering asks, and the failure to tell.
  const std::tuple<S, std::optional<F>, S, std::optional<std::string>, Strings, std::optional<Failure>> table[] = {
      {S::enabled, F::invalidSignature, S::notRegistered, std::nullopt, {"unregister"}, std::nullopt},
      {S::notRegistered, std::nullopt, S::enabled, std::nullopt, {"register", "unregister"}, std::nullopt},
      {S::requiresApproval, std::nullopt, S::enabled, "0", {"register", "unregister"}, std::nullopt},
      {S::enabled, std::nullopt, S::enabled, "1", {}, std::nullopt},
      {S::notRegistered, F::requiresApproval, S::requiresApproval, std::nullopt, {"register"}, approval},
      {S::notFound, F::invalidSignature, S::notRegistered, std::nullopt, {"register"}, refused},
      // A bare error, with the system then saying approval is needed.
      {S::requiresApproval, F::other, S::requiresApproval, std::nullopt, {"register"}, approval},
      {S::notRegistered, F::other, S::notRegistered, std::nullopt, {"register"}, std::nullopt},
      {S::notRegistered, F::requiresApproval, S::requiresApproval, "1", {}, std::nullopt},
  };
  for (const auto& row : table) {
    const auto& [statusBefore, failure, statusAfter, skip, calls, told] = row;
    Rig rig;
    if (skip) rig.mac.variables["CORVEL_SKIP_SERVICE"] = *skip;
    rig.launch.agentStatus = statusBefore;
    rig.launch.registrationFailure = failure;
    rig.launch.statusAfterFailure = statusAfter;
    WatchdogRegistration registration(rig.launch, rig.mac);
    registration.registerWatchdogIfNeeded();
    EXPECT_EQ(registration.failureToReport(), told) << &row - table;
    EXPECT_EQ(registration.failureToReport(), std::nullopt);
    registration.unregisterWatchdog();
    EXPECT_EQ(rig.launch.agentCalls, calls) << &row - table;
  }
}

}  // namespace
}  // namespace corvel::test
