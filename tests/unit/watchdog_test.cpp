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

// Only what the person can put right is worth an alert, and one a launch is enough; any other failure
// leaves Corvel protecting as before, silently.
TEST(WatchdogRegistrationTest, TellsOnceOfAFailedRegistrationThePersonCanPutRight) {
  // How registering fails, the status after it, CORVEL_SKIP_SERVICE, the status before; and the failure
  // to tell.
  using F = AgentRegistrationFailure;
  using S = AgentStatus;
  const std::tuple<std::optional<F>, S, std::optional<std::string>, S, std::optional<Failure>> table[] = {
      {std::nullopt, S::enabled, std::nullopt, S::notRegistered, std::nullopt},
      {F::requiresApproval, S::requiresApproval, std::nullopt, S::notRegistered, Failure::watchdogNeedsApproval},
      {F::invalidSignature, S::notRegistered, std::nullopt, S::notFound, Failure::watchdogSignatureRefused},
      // A bare error, with the system then saying approval is needed.
      {F::other, S::requiresApproval, std::nullopt, S::requiresApproval, Failure::watchdogNeedsApproval},
      {F::other, S::notRegistered, std::nullopt, S::notRegistered, std::nullopt},
      {F::requiresApproval, S::requiresApproval, "1", S::notRegistered, std::nullopt},
      {F::invalidSignature, S::notRegistered, std::nullopt, S::enabled, std::nullopt},
  };
  for (const auto& [failure, statusAfter, skip, statusBefore, told] : table) {
    Rig rig;
    if (skip) rig.mac.variables["CORVEL_SKIP_SERVICE"] = *skip;
    rig.launch.agentStatus = statusBefore;
    rig.launch.registrationFailure = failure;
    rig.launch.statusAfterFailure = statusAfter;
    WatchdogRegistration registration(rig.launch, rig.mac);
    registration.registerWatchdogIfNeeded();
    EXPECT_EQ(registration.failureToReport(), told);
    EXPECT_EQ(registration.failureToReport(), std::nullopt);
  }
}

}  // namespace
}  // namespace corvel::test
