// A Corvel killed in the middle of a flow, right after a system tool changed a setting: the Corvel
// started after it either finishes what was begun, or its restore puts back everything that changed.
#include <csignal>
#include <gtest/gtest.h>

#include "sim/assertions.h"
#include "sim/sim_root.h"
#include "tests/support/sim_root_fixture.h"

namespace corvel {
namespace {
using test::eventually;
using test::Steps;

struct Interruption {
  const char* flow;
  bool setUpFirst, switchOnFirst;
  Steps steps;       // the flow, up to the tool it is killed at
  const char* tool;  // paused right after its change
  const char* changed;
  const char* to;
  bool comesBackOn;
  bool touchID, lockToRestore;  // what the restore after the relaunch still asks for
};

// Named in the test list by its flow, not by its bytes.
void PrintTo(const Interruption& row, std::ostream* out) { *out << row.flow; }

class InterruptedFlows : public test::SimRootTest, public ::testing::WithParamInterface<Interruption> {};

TEST_P(InterruptedFlows, TheNextCorvelFinishesOrPutsBackWhatWasBegun) {
  const Interruption& row = GetParam();
  setMacValue("screenlock", "300");
  if (row.setUpFirst) {
    auto corvel = start();
    ASSERT_TRUE(test::play(*corvel, test::setUpRemoteStrong));
    ASSERT_TRUE(eventually([&] { return defaults().value("ProtectionMode", "") == "remoteStrong"; }));
    ASSERT_TRUE(!row.switchOnFirst || test::play(*corvel, {{"click", "Touch ID:"}, {"touch", "🟢"}}));
    ::kill(corvel->pid(), SIGKILL);
    corvel->waitForExit();
  }
  // Relaunched as the watchdog does after a crash; then killed while the paused tool waits, then the
  // tool itself: the setting has changed, and nothing after it has happened.
  auto corvel = start({{"CORVEL_SIM_PAUSE_AFTER", row.tool}}, {"--watchdog-launch"});
  ASSERT_TRUE(test::play(*corvel, row.steps));
  ASSERT_TRUE(eventually([&] { return macValue("paused").starts_with(row.tool + std::string(" ")); }))
      << corvel->transcript();
  ::kill(corvel->pid(), SIGKILL);
  corvel->waitForExit();
  ::kill(std::stoi(macValue("paused").substr(std::string(row.tool).size() + 1)), SIGKILL);
  setMacValue("paused", "");
  ASSERT_EQ(macValue(row.changed), row.to);

  auto next = start({}, {"--watchdog-launch"});
  // The first state it shows, once it has re-applied the stored one.
  EXPECT_EQ(next->transcript().find("メニューバー: 🟢"),
            row.comesBackOn ? next->transcript().find("メニューバー: ") : std::string::npos);
  if (row.comesBackOn) {
    EXPECT_EQ(macValue("disablesleep"), "1");
    EXPECT_TRUE(eventually([&] { return sim::liveAssertions(root()).size() == 1; }));
  }
  ASSERT_TRUE(test::play(*next, test::restoreAndQuit(row.touchID, row.lockToRestore)));
  EXPECT_EQ(next->waitForExit(), 0) << next->transcript();
  expectAllPutBack();
}

const Steps restoreUpToTheLock = [] {
  auto steps = test::restoreAndQuit(/*touchID=*/false, /*lockToRestore=*/true);
  steps.resize(steps.size() - 2);  // all but the approval that takes the rule away
  return steps;
}();
const Steps switchWithTouchID = {{"click", "Touch ID:"}, {"touch", ""}};

INSTANTIATE_TEST_SUITE_P(
    KilledAt, InterruptedFlows,
    ::testing::Values(
        Interruption{"SetUp", false, false, test::setUpRemoteStrong, "sysadminctl", "screenlock", "off", false, false,
                     true},
        Interruption{"SwitchOn", true, false, switchWithTouchID, "pmset", "disablesleep", "1", true, true, true},
        // Still stored on: the relaunch forbids sleep again and takes charge of the same caffeinate.
        Interruption{"SwitchOff", true, true, switchWithTouchID, "pmset", "disablesleep", "0", true, true, true},
        // Off already, with sleep allowed: the restore asks no fingerprint.
        Interruption{"Restore", true, false, restoreUpToTheLock, "sysadminctl", "screenlock", "300", false, false,
                     false}),
    [](const auto& info) { return std::string(info.param.flow); });

}  // namespace
}  // namespace corvel
