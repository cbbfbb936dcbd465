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
    EXPECT_EQ(length.count(), 5.0);
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
    WatchdogRegistration registration(rig.launch, rig.mac, rig.desk);
    registration.registerWatchdogIfNeeded();
    registration.unregisterWatchdog();
    EXPECT_EQ(rig.launch.agentCalls, calls) << static_cast<int>(status) << " " << skip.value_or("");
  }
}

// Only what the person can put right is worth an alert, and one a launch is enough; any other failure
// leaves Corvel protecting as before, silently.
TEST(WatchdogRegistrationTest, TellsOnceOfAFailedRegistrationThePersonCanPutRight) {
  struct Row {
    std::optional<AgentRegistrationFailure> failure;
    AgentStatus statusAfter;
    std::optional<std::string> skip;
    AgentStatus statusBefore;
    std::string advice;  // a part of the one alert's text; empty: no alert
  };
  const Row table[] = {
      {std::nullopt, AgentStatus::enabled, std::nullopt, AgentStatus::notRegistered, ""},
      {AgentRegistrationFailure::requiresApproval, AgentStatus::requiresApproval, std::nullopt,
       AgentStatus::notRegistered, "システム設定 › 一般 › ログイン項目"},
      {AgentRegistrationFailure::invalidSignature, AgentStatus::notRegistered, std::nullopt, AgentStatus::notFound,
       "署名"},
      // A bare error, with the system then saying approval is needed.
      {AgentRegistrationFailure::other, AgentStatus::requiresApproval, std::nullopt, AgentStatus::requiresApproval,
       "バックグラウンド実行を許可"},
      {AgentRegistrationFailure::other, AgentStatus::notRegistered, std::nullopt, AgentStatus::notRegistered, ""},
      {AgentRegistrationFailure::requiresApproval, AgentStatus::requiresApproval, "1", AgentStatus::notRegistered, ""},
      {AgentRegistrationFailure::invalidSignature, AgentStatus::notRegistered, std::nullopt, AgentStatus::enabled, ""},
  };
  for (const auto& row : table) {
    Rig rig;
    if (row.skip) rig.mac.variables["CORVEL_SKIP_SERVICE"] = *row.skip;
    rig.launch.agentStatus = row.statusBefore;
    rig.launch.registrationFailure = row.failure;
    rig.launch.statusAfterFailure = row.statusAfter;
    WatchdogRegistration registration(rig.launch, rig.mac, rig.desk);
    registration.registerWatchdogIfNeeded();
    registration.reportRegistrationFailure();
    registration.reportRegistrationFailure();
    const std::string shown = rig.desk.messages.empty() ? "" : rig.desk.messages.front();
    if (row.advice.empty()) {
      EXPECT_TRUE(rig.desk.titles.empty()) << row.advice << ": " << shown;
      continue;
    }
    EXPECT_EQ(rig.desk.titles, (Strings{"自動再起動を登録できませんでした"})) << row.advice;
    EXPECT_NE(shown.find(row.advice), std::string::npos) << shown;
  }
}

}  // namespace
}  // namespace corvel::test
