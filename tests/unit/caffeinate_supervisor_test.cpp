// The caffeinate child: one at a time, handed over across a relaunch, and never mistaken for another.
#include <gtest/gtest.h>

#include "tests/unit/fakes.h"

namespace corvel {
namespace {

class CaffeinateSupervisorTest : public ::testing::Test {
 protected:
  test::FakeMac mac;
  test::FakeStore defaults;
  CaffeinateSupervisor supervisor{mac, defaults, "/usr/bin/caffeinate"};
  std::optional<std::string> recorded() { return defaults.string(keys::caffeinateProcessIdentifier); }
};

TEST_F(CaffeinateSupervisorTest, StartsOneChildAndStopsIt) {
  supervisor.startCaffeinateIfNeeded();
  supervisor.startCaffeinateIfNeeded();
  ASSERT_EQ(mac.children.size(), 1u);
  EXPECT_EQ(mac.children[0]->executable, "/usr/bin/caffeinate");
  EXPECT_EQ(mac.children[0]->arguments, (test::Strings{"-d", "-i", "-m", "-s"}));
  mac.children[0]->running = false;  // ended from outside
  supervisor.startCaffeinateIfNeeded();
  ASSERT_EQ(mac.children.size(), 2u);
  EXPECT_EQ(mac.children[0]->terminations, 0);
  EXPECT_EQ(recorded(), "1002");
  supervisor.stopCaffeinate();
  supervisor.stopCaffeinate();
  EXPECT_EQ(mac.children[1]->terminations, 1);
  EXPECT_FALSE(supervisor.isCaffeinateRunning());
  EXPECT_EQ(recorded(), std::nullopt);
}

TEST_F(CaffeinateSupervisorTest, ARelaunchTakesChargeOfTheRecordedChild) {
  supervisor.startCaffeinateIfNeeded();
  CaffeinateSupervisor relaunched(mac, defaults, "/usr/bin/caffeinate");
  relaunched.startCaffeinateIfNeeded();
  EXPECT_EQ(mac.children.size(), 1u);
  EXPECT_TRUE(relaunched.isCaffeinateRunning());
  CaffeinateSupervisor again(mac, defaults, "/usr/bin/caffeinate");
  again.stopCaffeinate();  // a stop before any start ends it too
  EXPECT_EQ(mac.children[0]->terminations, 1);
  EXPECT_EQ(recorded(), std::nullopt);
}

TEST_F(CaffeinateSupervisorTest, AProcessThatOnlySharesThePidIsNeverTakenCharge) {
  supervisor.startCaffeinateIfNeeded();
  EXPECT_EQ(defaults.string(keys::caffeinateProcessIdentity), "8001 501");
  // The same pid, command line and owner, but started at another time: someone else's caffeinate.
  for (const char* identity : {"8002 501", "8001 0", "8001", "x 501", ""}) {
    defaults.setString(keys::caffeinateProcessIdentifier, "1001");
    defaults.setString(keys::caffeinateProcessIdentity, identity);
    CaffeinateSupervisor relaunched(mac, defaults, "/usr/bin/caffeinate");
    relaunched.stopCaffeinate();
    EXPECT_EQ(mac.children[0]->terminations, 0) << identity;
    EXPECT_EQ(recorded(), std::nullopt) << identity;
    EXPECT_EQ(defaults.string(keys::caffeinateProcessIdentity), std::nullopt) << identity;
  }
}

TEST_F(CaffeinateSupervisorTest, ARecordThatNamesNoLiveCaffeinateIsDropped) {
  supervisor.startCaffeinateIfNeeded();
  mac.children[0]->running = false;
  for (const char* stale : {"1001", "abc", "-3", "0", "99999999999", ""}) {
    defaults.setString(keys::caffeinateProcessIdentifier, stale);
    CaffeinateSupervisor relaunched(mac, defaults, "/usr/bin/caffeinate");
    relaunched.stopCaffeinate();
    EXPECT_EQ(recorded(), std::nullopt) << stale;
  }
  // A child that died since cannot be replaced: no record may point at it.
  supervisor.startCaffeinateIfNeeded();
  mac.children[1]->running = false;
  mac.caffeinateStarts = false;
  supervisor.startCaffeinateIfNeeded();
  EXPECT_FALSE(supervisor.isCaffeinateRunning());
  EXPECT_EQ(recorded(), std::nullopt);
}

}  // namespace
}  // namespace corvel
