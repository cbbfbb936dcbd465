// The system sleep switch, and switching protection on and off, one switch at a time, and bringing
// the Mac to the stored state.
#include "tests/unit/fakes.h"

namespace corvel::test {
namespace {

// The standard mode's switch, which asks nothing, is the launch's and the click's.
TEST(ProtectionTest, RemoteStrongSwitchesWithTouchID) {
  Rig rig;
  rig.remoteStrong();
  rig.mac.ruleInstalled = false;  // so the first switch sets the Mac up, then asks for the finger
  rig.desk.answer(0);
  rig.desk.answer(0, "secret");
  // On is stored before sleep is forbidden, off only once it is allowed again: a Corvel killed in
  // between comes back on, never off on a Mac that cannot sleep.
  std::vector<bool> storedAtEachChange;
  rig.mac.onRun = [&](const std::string& line) {
    if (line.starts_with("/usr/bin/sudo -n /usr/bin/pmset") && (line.back() == '1') != rig.mac.sleepDisabled)
      storedAtEachChange.push_back(rig.settings.enabled());
  };
  rig.protection.toggleProtection();
  EXPECT_TRUE(rig.mac.sleepDisabled && rig.settings.enabled() && rig.caffeinate.isCaffeinateRunning());
  EXPECT_EQ(rig.desk.titles, (Strings{"リモート強制モードを設定します", "画面ロック防止を設定します"}));
  EXPECT_EQ(rig.desk.prompts, 1);
  EXPECT_TRUE(rig.protection.setProtection(false));
  EXPECT_FALSE(rig.mac.sleepDisabled || rig.settings.enabled());
  EXPECT_EQ(storedAtEachChange, (std::vector{true, true}));
  EXPECT_EQ(rig.mac.screenLock, "off");  // as the set-up left it: a switch never touches the lock
  EXPECT_EQ(rig.desk.reasons, Strings(2, "リモート強制モードを切り替えます"));
}

// The set-up comes first when the rule is missing, and a set-up that did not complete asks no finger.
TEST(ProtectionTest, AFailedSwitchLeavesTheStoredStateAloneAndEndsRedrawn) {
  using F = Failure;
  const auto refused = [](Rig& r) { r.desk.onPrompt = [](auto reply) { reply(false); }; };
  const std::tuple<std::function<void(Rig&)>, Failure, int> table[] = {
      {[](Rig& r) { r.mac.ruleInstalled = false, r.desk.answer(1); }, F::cancelled, 0},
      {[&](Rig& r) { r.mac.ruleInstalled = false, r.desk.answer(0), r.desk.answer(0, "secret"), refused(r); },
       F::touchIDRejected, 1},
      {[](Rig& r) { r.desk.touchID = false; }, F::touchIDUnavailable, 0},
      {refused, F::touchIDRejected, 1},
      {[](Rig& r) { r.mac.pmsetChangeWorks = false; }, F::sleepSwitchFailed, 1},
      {[](Rig& r) { r.mac.readingsBehind = 1000; }, F::sleepSwitchFailed, 1},  // never reads back
  };
  for (const auto& [arrange, failure, prompts] : table) {
    Rig rig;
    rig.remoteStrong();
    arrange(rig);
    // Told while the switch still holds, before the first redraw.
    rig.desk.onAlert = [&] {
      EXPECT_TRUE(rig.protection.isSwitchInProgress() && rig.display.views().toggleItem->title().empty());
    };
    EXPECT_EQ(rig.protection.setProtection(true), failure);
    EXPECT_EQ(rig.desk.prompts, prompts);
    EXPECT_FALSE(rig.settings.enabled() || rig.mac.children.size() || rig.protection.isSwitchInProgress());
    EXPECT_EQ(rig.display.views().toggleItem->title(), "ONに切り替える");
  }
}

// Switching off never sets the Mac up: with the rule gone (removed by hand, or refused for a broken
// neighbour) and the lock put back on by hand, a set-up would switch the lock off and install the rule
// again on the way out. Without the rule, sleep still forbidden is allowed through one approval.
TEST(ProtectionTest, SwitchingOffInRemoteStrongNeverSetsTheMacUp) {
  const std::string allowSleep = "do shell script \"/usr/bin/pmset -a disablesleep 0\" with administrator privileges";
  using F = Failure;
  // The fault, whether on, the rule and sleep forbidden before; then the outcome, sleep forbidden after,
  // the Touch ID prompts, and whether sleep was allowed through the administrator.
  const std::tuple<std::string, bool, bool, bool, Outcome, bool, int, bool> table[] = {
      {"", true, true, true, Done, false, 1, false},
      {"", true, false, false, Done, false, 1, false},
      {"", true, false, true, Done, false, 1, true},
      {"cancel", true, false, true, F::cancelled, true, 1, true},
      {"refuse", true, false, true, F::sleepSwitchFailed, true, 1, true},
      {"stale", true, false, true, F::sleepSwitchFailed, false, 1, true},
      {"no finger", true, false, true, F::touchIDUnavailable, true, 0, false},
      // Off already: nothing to confirm while the Mac agrees; sleep still forbidden is switched off.
      {"", false, true, false, Done, false, 0, false},
      {"", false, false, true, Done, false, 1, true},
  };
  for (const auto& [fault, enabled, rule, sleepBefore, outcome, sleepAfter, prompts, script] : table) {
    Rig rig;
    rig.remoteStrong();
    rig.mac.ruleInstalled = rule;
    rig.mac.sleepDisabled = sleepBefore;
    rig.settings.setEnabled(enabled);
    rig.caffeinate.startCaffeinateIfNeeded();
    rig.mac.administratorCancels = fault == "cancel";
    rig.mac.administratorApproves = fault != "refuse";
    rig.mac.readingsBehind = fault == "stale" ? 1000 : 0;  // the flag never reads back
    rig.desk.touchID = fault != "no finger";
    SCOPED_TRACE(fault + (enabled ? " on" : " off") + (rule ? " rule" : "") + (sleepBefore ? " no sleep" : ""));
    EXPECT_EQ(rig.protection.setProtection(false), outcome);
    const bool on = !outcome && enabled;
    EXPECT_EQ(rig.settings.enabled(), on);
    EXPECT_EQ(rig.mac.runningChildren(), on ? 1u : 0u);
    EXPECT_EQ(rig.mac.sleepDisabled, sleepAfter);
    EXPECT_EQ(rig.desk.prompts, prompts);
    EXPECT_EQ(rig.mac.scripts, script ? Strings{allowSleep} : Strings{});
    EXPECT_EQ(rig.desk.titles.size(), !outcome && fault != "cancel" ? 1u : 0u);  // a cancel is silent
    EXPECT_EQ(rig.mac.screenLock, "immediate");
    EXPECT_EQ(rig.mac.ruleInstalled, rule);
  }
}

TEST(ProtectionTest, TheStoredStateIsAppliedWithoutAskingAndNeverAllowsSleepAgain) {
  // The mode, whether on, whether the rule is in place, and whether sleep is disabled before and after.
  const std::tuple<const char*, bool, bool, bool, bool> table[] = {{"standard", true, true, false, false},
                                                                   {"standard", false, true, true, true},
                                                                   {"remoteStrong", true, true, false, true},
                                                                   {"remoteStrong", true, false, false, false},
                                                                   {"remoteStrong", false, true, true, true}};
  for (const auto& [mode, enabled, rule, sleepBefore, sleepAfter] : table) {
    Rig rig;
    rig.defaults.set(keys::protectionMode, std::string(mode));
    rig.settings.setEnabled(enabled);
    rig.mac.ruleInstalled = rule;
    rig.mac.sleepDisabled = sleepBefore;
    if (!enabled) rig.caffeinate.startCaffeinateIfNeeded();  // a predecessor's child must go
    rig.protection.applyStoredState();
    EXPECT_EQ(std::tuple(rig.mac.sleepDisabled, rig.mac.runningChildren()), std::tuple(sleepAfter, enabled ? 1u : 0u))
        << "(sleep disabled, children) " << mode << enabled << rule;
    EXPECT_TRUE(rig.desk.titles.empty() && rig.mac.scripts.empty() && rig.desk.prompts == 0);
  }
}

TEST(SleepSwitchTest, SleepDisabledOnlyAsTheFirstTwoFieldsOfALineAndTheWaitEndsWhenItShowsOrTimesOut) {
  for (const char* output : {"System-wide power settings:\n SleepDisabled\t\t1\n sleep 1\n",
                             "\t  SleepDisabled   1  more", "SleepDisabled 0\nSleepDisabled 1"})
    EXPECT_TRUE(pmsetShowsSleepDisabled(output)) << output;
  for (const char* output :
       {"SleepDisabled 0", "SleepDisabled", "SleepDisabled 10", "SleepDisabledX 1", "x SleepDisabled 1"})
    EXPECT_FALSE(pmsetShowsSleepDisabled(output)) << output;
  // The wait reads until the value shows or the time is up.
  Rig rig;
  auto [mac, sleepSwitch] = std::tie(rig.mac, rig.sleepSwitch);
  mac.ruleInstalled = mac.sleepDisabled = true;
  EXPECT_TRUE(sleepSwitch.waitForSleepDisabled(true));
  EXPECT_EQ(mac.elapsed(), 0);  // already there: no waiting at all
  mac.readingsBehind = 5;
  sleepSwitch.runPrivilegedPmset(false);
  EXPECT_TRUE(sleepSwitch.waitForSleepDisabled(false));
  EXPECT_TRUE(mac.elapsed() > 0 && mac.elapsed() < 3.0) << mac.elapsed();
  mac.current = {};
  EXPECT_FALSE(sleepSwitch.waitForSleepDisabled(true));
  EXPECT_TRUE(mac.elapsed() >= 3.0 && mac.elapsed() < 3.5) << mac.elapsed();
  mac.readingsBehind = 1;  // a last reading at the deadline still counts
  sleepSwitch.runPrivilegedPmset(true);
  EXPECT_TRUE(sleepSwitch.waitForSleepDisabled(true, {}));
}

}  // namespace
}  // namespace corvel::test
