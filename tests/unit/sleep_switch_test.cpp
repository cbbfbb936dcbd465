// The system sleep switch: reading pmset's report, the privileged command line, and the wait.
#include <gtest/gtest.h>

#include "tests/unit/fakes.h"

namespace corvel {
namespace {

TEST(PmsetOutputTest, SleepDisabledOnlyAsTheFirstTwoFieldsOfALine) {
  const std::pair<const char*, bool> table[] = {
      {"System-wide power settings:\n SleepDisabled\t\t1\n sleep 1\n", true},
      {"\t  SleepDisabled   1  more", true},
      {"SleepDisabled 0\nSleepDisabled 1", true},
      {"SleepDisabled 0", false},
      {"SleepDisabled", false},
      {"SleepDisabled 10", false},
      {"SleepDisabledX 1", false},
      {"x SleepDisabled 1", false},
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
  for (bool disable : {true, false}) {
    EXPECT_TRUE(sleepSwitch.runPrivilegedPmset(disable));
    EXPECT_EQ(mac.calls.back(),
              std::string("/usr/bin/sudo -n /usr/bin/pmset -a disablesleep ") + (disable ? "1" : "0"));
    EXPECT_EQ(sleepSwitch.isSleepDisabled(), disable);
  }
}

TEST_F(SleepSwitchTest, TheWaitReadsUntilTheValueShowsOrTheTimeIsUp) {
  mac.ruleInstalled = mac.sleepDisabled = true;
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
  mac.readingsBehind = 1;  // a last reading at the deadline still counts
  sleepSwitch.runPrivilegedPmset(true);
  EXPECT_TRUE(sleepSwitch.waitForSleepDisabled(true, 0.0));
}

}  // namespace
}  // namespace corvel
