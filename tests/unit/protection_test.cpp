// Switching protection on and off, one switch at a time, and bringing the Mac to the stored state.
#include <gtest/gtest.h>
#include <thread>

#include "tests/unit/fakes.h"

namespace corvel {
namespace {

using test::Rig;
using test::Strings;

void remoteStrong(Rig& rig) {
  rig.defaults.set(keys::protectionMode, std::string("remoteStrong"));
  rig.mac.ruleInstalled = true;
}

TEST(ProtectionTest, StandardModeSwitchesWithoutAskingAndRemoteStrongWithTouchID) {
  Rig rig;
  EXPECT_TRUE(rig.protection.setProtection(true));
  EXPECT_TRUE(rig.settings.enabled());
  EXPECT_TRUE(rig.caffeinate.isCaffeinateRunning());
  rig.protection.toggleProtection();
  EXPECT_FALSE(rig.settings.enabled());
  EXPECT_EQ(rig.mac.runningChildren(), 0u);
  EXPECT_EQ(rig.biometrics.prompts, 0);
  EXPECT_FALSE(rig.mac.sleepDisabled);

  remoteStrong(rig);
  rig.protection.toggleProtection();
  EXPECT_TRUE(rig.mac.sleepDisabled && rig.settings.enabled() && rig.caffeinate.isCaffeinateRunning());
  EXPECT_EQ(rig.biometrics.prompts, 1);
  EXPECT_TRUE(rig.protection.setProtection(false));
  EXPECT_FALSE(rig.mac.sleepDisabled);
  EXPECT_EQ(rig.mac.screenLock, "immediate");  // a switch never touches the screen lock
  EXPECT_TRUE(rig.alerts.shown.empty());
}

TEST(ProtectionTest, AFailedSwitchLeavesTheStoredStateAloneAndEndsRedrawn) {
  const std::string failed = "切り替えできませんでした";
  const std::pair<std::function<void(Rig&)>, Strings> table[] = {
      {[](Rig& r) { r.mac.ruleInstalled = false, r.alerts.answer(1); }, {"リモート強制モードを設定します"}},
      {[](Rig& r) { r.biometrics.available = false; }, {"Touch IDを使用できません"}},
      {[](Rig& r) { r.biometrics.onPrompt = [](auto reply) { reply(false); }; }, {"Touch IDで認証できませんでした"}},
      {[](Rig& r) { r.mac.pmsetChangeWorks = false; }, {failed}},
      {[](Rig& r) { r.mac.readingsBehind = 1000; }, {failed}},  // the flag never reads back
  };
  for (const auto& [arrange, alerts] : table) {
    Rig rig;
    remoteStrong(rig);
    arrange(rig);
    EXPECT_FALSE(rig.protection.setProtection(true));
    EXPECT_EQ(rig.alerts.titles(), alerts);
    EXPECT_FALSE(rig.settings.enabled());
    EXPECT_TRUE(rig.mac.children.empty());
    EXPECT_FALSE(rig.protection.isSwitchInProgress());
    EXPECT_EQ(rig.session.queries, 1);  // the one redraw reads the session
  }
}

// Clicks handled while the Touch ID prompt is up run nested in its wait; they must change nothing.
TEST(ProtectionTest, SwitchesNestedInTheTouchIDWaitAreRefused) {
  Rig rig;
  remoteStrong(rig);
  std::function<void(bool)> reply;
  rig.biometrics.onPrompt = [&](std::function<void(bool)> r) { reply = std::move(r); };
  std::thread replier;
  bool nestedRefused = true;
  rig.application.onTurn = [&] {
    if (rig.application.turns > 3) return;
    rig.protection.toggleProtection();
    nestedRefused = nestedRefused && !rig.protection.setProtection(false) && rig.protection.isSwitchInProgress();
    if (rig.application.turns == 3) replier = std::thread([&] { reply(true); });
  };
  EXPECT_TRUE(rig.protection.setProtection(true));
  replier.join();
  EXPECT_TRUE(nestedRefused);
  EXPECT_EQ(rig.biometrics.prompts, 1);
  EXPECT_TRUE(rig.settings.enabled() && rig.mac.sleepDisabled);
  EXPECT_FALSE(rig.protection.isSwitchInProgress());
}

TEST(ProtectionTest, TheStoredStateIsAppliedWithoutAskingAndNeverAllowsSleepAgain) {
  struct Row {
    const char* mode;
    bool enabled, rule, sleepBefore, sleepAfter;
  };
  const Row table[] = {{"standard", true, true, false, false},
                       {"standard", false, true, true, true},
                       {"remoteStrong", true, true, false, true},
                       {"remoteStrong", true, false, false, false},
                       {"remoteStrong", false, true, true, true}};
  for (const auto& row : table) {
    SCOPED_TRACE(std::string(row.mode) + (row.enabled ? " on" : " off") + (row.rule ? " with the rule" : ""));
    Rig rig;
    rig.defaults.set(keys::protectionMode, std::string(row.mode));
    rig.defaults.set(keys::protectionEnabled, row.enabled);
    rig.mac.ruleInstalled = row.rule;
    rig.mac.sleepDisabled = row.sleepBefore;
    if (!row.enabled) rig.caffeinate.startCaffeinateIfNeeded();  // a predecessor's child must go
    rig.protection.applyStoredState();
    EXPECT_EQ(rig.mac.sleepDisabled, row.sleepAfter);
    EXPECT_EQ(rig.mac.runningChildren(), row.enabled ? 1u : 0u);
    EXPECT_TRUE(rig.alerts.shown.empty() && rig.mac.scripts.empty());
    EXPECT_EQ(rig.biometrics.prompts, 0);
  }
}

}  // namespace
}  // namespace corvel
