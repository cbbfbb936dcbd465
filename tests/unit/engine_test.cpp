// The caffeinate supervisor, the sleep switch and the permission operations over fakes of the ports.
#include <gtest/gtest.h>

#include "main/app_delegate.h"
#include "main/engine/sleep_switch.h"
#include "main/remote/limited_permission.h"
#include "tests/support/fakes.h"

namespace corvel {
namespace {

using test::FakePlatform;
using test::ProcessCall;
using Args = std::vector<std::string>;

const Args kPmsetGet{"-g"};
const Args kSudoOn{"-n", "/usr/bin/pmset", "-a", "disablesleep", "1"};
const Args kSudoOff{"-n", "/usr/bin/pmset", "-a", "disablesleep", "0"};

TEST(PmsetOutputTest, SleepDisabledLines) {
  const std::pair<const char*, bool> table[] = {
      {"System-wide power settings:\n SleepDisabled\t\t1\nCurrently in use:\n sleep 1\n", true},
      {" SleepDisabled\t\t1", true},
      {"SleepDisabled 0", false},
      {"SleepDisabled", false},
      {"SleepDisabled 1 more words", true},
      {"\t  SleepDisabled   1  ", true},
      {"sleepdisabled 1", false},
      {"SleepDisabled 10", false},
      {"SleepDisabledX 1", false},
      {"x SleepDisabled 1", false},
      {"", false},
      {"\n\n", false},
      {" sleep 1\n displaysleep 10\n", false},
      {"SleepDisabled 0\nSleepDisabled 1\n", true},
  };
  for (const auto& [output, expected] : table) EXPECT_EQ(pmsetShowsSleepDisabled(output), expected) << output;
}

class EngineTest : public ::testing::Test {
 protected:
  FakePlatform fake;
  AppDelegate delegate{fake.platform};
  bool flag = false;            // the simulated disablesleep value
  bool ruleInstalled = true;    // whether sudo lets pmset through
  int flagFollowsAfterReads = 0;  // readings that still show the old value after a change

  void SetUp() override {
    fake.processes.respond = [this](const ProcessCall& call) -> ProcessResult {
      if (call.executable == "/usr/bin/pmset") {
        if (flagFollowsAfterReads > 0) {
          --flagFollowsAfterReads;
          return {0, std::string(" SleepDisabled\t\t") + (flag ? "0" : "1") + "\n"};
        }
        return {0, std::string("System-wide power settings:\n SleepDisabled\t\t") + (flag ? "1" : "0") + "\n"};
      }
      if (call.executable == "/usr/bin/sudo") {
        if (!ruleInstalled) return {1, "sudo: a password is required\n"};
        flag = call.arguments.back() == "1";
        return {0, ""};
      }
      return {-1, ""};
    };
  }
};

TEST_F(EngineTest, CaffeinateLifecycle) {
  delegate.startCaffeinateIfNeeded();
  delegate.startCaffeinateIfNeeded();
  ASSERT_EQ(fake.processes.launches.size(), 1u);  // never a second child
  EXPECT_EQ(fake.processes.launches[0].executable, "/usr/bin/caffeinate");
  EXPECT_EQ(fake.processes.launches[0].arguments, (Args{"-d", "-i", "-m", "-s"}));
  EXPECT_TRUE(delegate.isCaffeinateRunning());

  fake.processes.children[0]->running = false;  // killed from outside
  EXPECT_FALSE(delegate.isCaffeinateRunning());
  delegate.startCaffeinateIfNeeded();
  ASSERT_EQ(fake.processes.launches.size(), 2u);
  EXPECT_EQ(fake.processes.children[0]->terminations, 0);  // an ended child is not signalled

  delegate.stopCaffeinate();
  EXPECT_EQ(fake.processes.children[1]->terminations, 1);
  EXPECT_FALSE(delegate.isCaffeinateRunning());
  delegate.stopCaffeinate();  // nothing left: only clears
  EXPECT_EQ(fake.processes.children[1]->terminations, 1);
  delegate.startCaffeinateIfNeeded();
  EXPECT_EQ(fake.processes.launches.size(), 3u);
}

TEST_F(EngineTest, ARelaunchTakesChargeOfTheChildItsPredecessorLeft) {
  delegate.startCaffeinateIfNeeded();
  ASSERT_EQ(fake.defaults.string("CaffeinateProcessIdentifier"), "1001");
  // A new delegate, as after a crash and relaunch, over the same settings and system.
  AppDelegate relaunched(fake.platform);
  relaunched.startCaffeinateIfNeeded();
  EXPECT_EQ(fake.processes.launches.size(), 1u);  // no second child
  EXPECT_TRUE(relaunched.isCaffeinateRunning());
  relaunched.stopCaffeinate();
  EXPECT_EQ(fake.processes.children[0]->terminations, 1);
  EXPECT_EQ(fake.defaults.string("CaffeinateProcessIdentifier"), std::nullopt);
}

TEST_F(EngineTest, ARecordThatNamesNoLiveCaffeinateIsDropped) {
  for (const char* recorded : {"1001", "abc", "-3", "0", "99999999999", ""}) {
    fake.defaults.values["CaffeinateProcessIdentifier"] = std::string(recorded);
    AppDelegate relaunched(fake.platform);
    relaunched.stopCaffeinate();
    EXPECT_EQ(fake.defaults.string("CaffeinateProcessIdentifier"), std::nullopt) << recorded;
  }
  fake.defaults.values["CaffeinateProcessIdentifier"] = std::string("4242");
  AppDelegate relaunched(fake.platform);
  relaunched.startCaffeinateIfNeeded();
  EXPECT_EQ(fake.processes.launches.size(), 1u);
  EXPECT_EQ(fake.defaults.string("CaffeinateProcessIdentifier"), "1001");
}

TEST_F(EngineTest, CaffeinateThatCannotStartLeavesNoChild) {
  fake.processes.launchSucceeds = false;
  delegate.startCaffeinateIfNeeded();
  EXPECT_FALSE(delegate.isCaffeinateRunning());
  fake.processes.launchSucceeds = true;
  delegate.startCaffeinateIfNeeded();
  EXPECT_TRUE(delegate.isCaffeinateRunning());
}

TEST_F(EngineTest, PrivilegedPmsetRunsExactlyTheAllowedCommandLines) {
  EXPECT_TRUE(delegate.runPrivilegedPmset(true));
  EXPECT_TRUE(delegate.runPrivilegedPmset(false));
  ASSERT_EQ(fake.processes.calls.size(), 2u);
  EXPECT_EQ(fake.processes.calls[0].executable, "/usr/bin/sudo");
  EXPECT_EQ(fake.processes.calls[0].arguments, kSudoOn);
  EXPECT_EQ(fake.processes.calls[1].arguments, kSudoOff);
  ruleInstalled = false;
  EXPECT_FALSE(delegate.runPrivilegedPmset(true));
  fake.processes.respond = [](const ProcessCall&) { return ProcessResult{-1, ""}; };
  EXPECT_FALSE(delegate.runPrivilegedPmset(true));
  EXPECT_FALSE(delegate.isSleepDisabled());
}

TEST_F(EngineTest, WaitReturnsAfterOneReadingWhenAlreadyThere) {
  flag = true;
  EXPECT_TRUE(delegate.waitForSleepDisabled(true));
  EXPECT_EQ(fake.processes.countCalls(kPmsetGet), 1);
  EXPECT_EQ(fake.clock.sleeps, 0);
}

TEST_F(EngineTest, WaitPollsUntilTheReadingFollows) {
  flag = true;
  flagFollowsAfterReads = 3;
  EXPECT_TRUE(delegate.waitForSleepDisabled(true));
  EXPECT_EQ(fake.processes.countCalls(kPmsetGet), 4);
  EXPECT_EQ(fake.clock.sleeps, 3);
}

TEST_F(EngineTest, WaitGivesUpAfterTheTimeoutWithOneLastReading) {
  flag = false;
  EXPECT_FALSE(delegate.waitForSleepDisabled(true));
  // 3.0 s in 0.1 s sleeps: readings at 0, 0.1, … until the deadline, then one more.
  EXPECT_EQ(fake.clock.sleeps, 30);
  EXPECT_EQ(fake.processes.countCalls(kPmsetGet), 31);
  EXPECT_FALSE(delegate.waitForSleepDisabled(true, 0.0));
  EXPECT_EQ(fake.processes.countCalls(kPmsetGet), 33);  // the first and the last reading
}

TEST_F(EngineTest, WaitingForOffSucceedsWhenPmsetCannotRun) {
  fake.processes.respond = [](const ProcessCall&) { return ProcessResult{-1, ""}; };
  EXPECT_TRUE(delegate.waitForSleepDisabled(false));
}

TEST_F(EngineTest, PermissionProbeReSetsTheCurrentValue) {
  for (bool current : {true, false}) {
    flag = current;
    fake.processes.calls.clear();
    EXPECT_TRUE(delegate.hasLimitedPermission());
    EXPECT_EQ(flag, current);  // unchanged
    ASSERT_EQ(fake.processes.calls.size(), 2u);
    EXPECT_EQ(fake.processes.calls[1].arguments, current ? kSudoOn : kSudoOff);
  }
  ruleInstalled = false;
  EXPECT_FALSE(delegate.hasLimitedPermission());
  EXPECT_TRUE(fake.administratorScript.sources.empty());  // never prompts
}

TEST_F(EngineTest, InstallRunsOneAdministratorScriptAndCountsOnlyAWorkingRule) {
  ruleInstalled = false;
  fake.administratorScript.respond = [this](const std::string&) {
    ruleInstalled = true;
    return true;
  };
  EXPECT_TRUE(delegate.installLimitedPermission());
  ASSERT_EQ(fake.administratorScript.sources.size(), 1u);
  EXPECT_EQ(fake.administratorScript.sources[0], administratorScriptSource(*installPermissionCommand("alice")));

  // The script ran but sudo still refuses: not installed.
  ruleInstalled = false;
  fake.administratorScript.respond = [](const std::string&) { return true; };
  EXPECT_FALSE(delegate.installLimitedPermission());
  // Cancelled approval: false, and no probe follows.
  fake.processes.calls.clear();
  fake.administratorScript.respond = [](const std::string&) { return false; };
  EXPECT_FALSE(delegate.installLimitedPermission());
  EXPECT_TRUE(fake.processes.calls.empty());
}

TEST_F(EngineTest, UnsafeAccountNamesTouchNothing) {
  fake.environment.user = "a b";
  EXPECT_FALSE(delegate.installLimitedPermission());
  EXPECT_FALSE(delegate.removeLimitedPermission());
  EXPECT_TRUE(fake.administratorScript.sources.empty());
  EXPECT_TRUE(fake.files.asked.empty());
}

TEST_F(EngineTest, RemoveAsksOnlyWhenTheDropInExists) {
  fake.administratorScript.respond = [](const std::string&) { return true; };
  EXPECT_TRUE(delegate.removeLimitedPermission());
  EXPECT_EQ(fake.files.asked, (Args{"/etc/sudoers.d/corvel-alice"}));
  EXPECT_TRUE(fake.administratorScript.sources.empty());

  fake.files.existing = {"/etc/sudoers.d/corvel-alice"};
  EXPECT_TRUE(delegate.removeLimitedPermission());
  ASSERT_EQ(fake.administratorScript.sources.size(), 1u);
  EXPECT_EQ(fake.administratorScript.sources[0],
            R"(do shell script "/bin/rm -f '/etc/sudoers.d/corvel-alice'" with administrator privileges)");
  fake.administratorScript.respond = [](const std::string&) { return false; };
  EXPECT_FALSE(delegate.removeLimitedPermission());
}

}  // namespace
}  // namespace corvel
