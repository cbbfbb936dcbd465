// The system sleep switch: reading pmset's report, the privileged command line, and the wait.
#include <gtest/gtest.h>

#include "tests/unit/fakes.h"

namespace corvel {
namespace {

TEST(PmsetOutputTest, SleepDisabledOnlyAsTheFirstTwoFieldsOfALine) {
  const std::pair<const char*, bool> table[] = {
      {"System-wide power settings:\n SleepDisabled\t\t1\nCurrently in use:\n", true},
      {"\t  SleepDisabled   1  more", true},
      {"SleepDisabled 0\nSleepDisabled 1", true},
      {"SleepDisabled 0", false},
      {"SleepDisabled", false},
      {"SleepDisabled 10", false},
      {"SleepDisabledX 1", false},
      {"x SleepDisabled 1", false},
      {"sleepdisabled 1", false},
  };
  for (const auto& [output, expected] : table) EXPECT_EQ(pmsetShowsSleepDisabled(output), expected) << output;
}

class SleepSwitchTest : public ::testing::Test {
 protected:
  test::FakeMac mac;
  test::FakeClock clock;
  ToolPaths tools = macToolPaths();
  SleepSwitch sleepSwitch{mac, clock, tools};
};

TEST_F(SleepSwitchTest, RunsExactlyTheCommandLinesTheRuleAllows) {
  EXPECT_FALSE(sleepSwitch.runPrivilegedPmset(true));  // no rule: sudo refuses without asking
  mac.ruleInstalled = true;
  EXPECT_TRUE(sleepSwitch.runPrivilegedPmset(true));
  EXPECT_TRUE(sleepSwitch.isSleepDisabled());
  EXPECT_TRUE(sleepSwitch.runPrivilegedPmset(false));
  EXPECT_FALSE(sleepSwitch.isSleepDisabled());
  EXPECT_EQ(mac.calls[1], "/usr/bin/sudo -n /usr/bin/pmset -a disablesleep 1");
  EXPECT_EQ(mac.calls[3], "/usr/bin/sudo -n /usr/bin/pmset -a disablesleep 0");
}

TEST_F(SleepSwitchTest, TheWaitReadsUntilTheValueShowsOrTheTimeIsUp) {
  mac.ruleInstalled = true;
  mac.sleepDisabled = true;
  EXPECT_TRUE(sleepSwitch.waitForSleepDisabled(true));
  EXPECT_EQ(clock.elapsed(), 0);  // already there: no waiting at all

  mac.readingsBehind = 5;
  sleepSwitch.runPrivilegedPmset(false);
  EXPECT_TRUE(sleepSwitch.waitForSleepDisabled(false));
  EXPECT_GT(clock.elapsed(), 0);
  EXPECT_LT(clock.elapsed(), 3.0);

  clock.current = {};
  EXPECT_FALSE(sleepSwitch.waitForSleepDisabled(true));
  EXPECT_GE(clock.elapsed(), 3.0);
  EXPECT_LT(clock.elapsed(), 3.5);

  // A last reading at the deadline still counts.
  mac.readingsBehind = 1;
  sleepSwitch.runPrivilegedPmset(true);
  EXPECT_TRUE(sleepSwitch.waitForSleepDisabled(true, 0.0));
}

TEST_F(SleepSwitchTest, WithoutPmsetTheSwitchReadsAsAllowed) {
  test::FakeMac noTools;
  SleepSwitch blind(noTools, clock, ToolPaths{});
  EXPECT_FALSE(blind.isSleepDisabled());
  EXPECT_TRUE(blind.waitForSleepDisabled(false));
  EXPECT_FALSE(blind.runPrivilegedPmset(true));
}

}  // namespace
}  // namespace corvel
