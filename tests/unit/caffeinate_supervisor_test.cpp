// The caffeinate child: one at a time, handed over across a relaunch, and never mistaken for another.
#include "tests/unit/fakes.h"

namespace corvel::test {
namespace {

struct CaffeinateSupervisorTest : ::testing::Test, Rig {
  CaffeinateSupervisor relaunched() { return {mac, defaults, "/usr/bin/caffeinate"}; }
};

TEST_F(CaffeinateSupervisorTest, StartsOneChildAndARelaunchTakesChargeOfIt) {
  caffeinate.startCaffeinateIfNeeded();
  caffeinate.startCaffeinateIfNeeded();
  ASSERT_EQ(mac.children.size(), 1u);
  mac.children[0]->running = false;  // ended from outside
  caffeinate.startCaffeinateIfNeeded();
  ASSERT_EQ(mac.children.size(), 2u);
  EXPECT_EQ(defaults.string(keys::caffeinateProcessIdentifier), "1002");
  auto next = relaunched();
  next.startCaffeinateIfNeeded();
  EXPECT_TRUE(mac.children.size() == 2 && next.isCaffeinateRunning());
  relaunched().stopCaffeinate();  // a stop before any start ends it too
  EXPECT_FALSE(mac.children[1]->running || caffeinate.isCaffeinateRunning());
  EXPECT_TRUE(defaults.values.empty());
}

// The pid alone may since belong to anyone's process, even another caffeinate started the same way.
TEST_F(CaffeinateSupervisorTest, OnlyTheRecordedIdentityIsTakenChargeOfAndAnyOtherRecordIsDropped) {
  caffeinate.startCaffeinateIfNeeded();
  EXPECT_EQ(defaults.string(keys::caffeinateProcessIdentity), "8001 501");
  const std::pair<const char*, const char*> records[] = {
      {"1001", "8002 501"},         {"1001", "8001 0"},  {"1001", "8001"},  {"1001", "x 501"},
      {"1001", "8001 99999999999"}, {"abc", "8001 501"}, {"0", "8001 501"}, {"99999999999", "8001 501"}};
  for (const auto& [pid, identity] : records) {
    defaults.setString(keys::caffeinateProcessIdentifier, pid);
    defaults.setString(keys::caffeinateProcessIdentity, identity);
    relaunched().stopCaffeinate();
    EXPECT_TRUE(mac.children[0]->running) << pid << " " << identity;
    EXPECT_TRUE(defaults.values.empty()) << pid << " " << identity;
  }
  // A child that ended is replaced by none that runs: no record may point at it, nor stay behind.
  caffeinate.stopCaffeinate();
  for (bool startsButEnds : {false, true}) {
    mac.caffeinateStarts = true, mac.caffeinateEndsAtOnce = false;
    caffeinate.startCaffeinateIfNeeded();
    mac.children.back()->running = false;
    mac.caffeinateStarts = mac.caffeinateEndsAtOnce = startsButEnds;
    caffeinate.startCaffeinateIfNeeded();
    EXPECT_TRUE(defaults.values.empty()) << startsButEnds;
  }
}

}  // namespace
}  // namespace corvel::test
