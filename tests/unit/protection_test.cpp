// Switching protection on and off, one switch at a time, and bringing the Mac to the stored state.
#include <gtest/gtest.h>
#include <thread>

#include "tests/unit/fakes.h"

namespace corvel {
namespace {

using test::Rig;
using test::Strings;

const std::string kSwitchFailed = "切り替えできませんでした";

void remoteStrong(Rig& rig, bool ruleInstalled = true) {
  rig.remember(keys::protectionMode, std::string("remoteStrong"));
  rig.mac.ruleInstalled = ruleInstalled;
}

TEST(ProtectionTest, StandardModeSwitchesWithoutAskingAnything) {
  Rig rig;
  EXPECT_TRUE(rig.protection.setProtection(true));
  EXPECT_TRUE(rig.settings.enabled());
  EXPECT_TRUE(rig.caffeinate.isCaffeinateRunning());
  rig.protection.toggleProtection();
  EXPECT_FALSE(rig.settings.enabled());
  EXPECT_EQ(rig.mac.runningChildren(), 0u);
  EXPECT_EQ(rig.biometrics.prompts, 0);
  EXPECT_TRUE(rig.alerts.shown.empty());
  EXPECT_FALSE(rig.mac.sleepDisabled);
}

TEST(ProtectionTest, RemoteStrongAsksTouchIDAndSwitchesSystemSleep) {
  Rig rig;
  remoteStrong(rig);
  EXPECT_TRUE(rig.protection.setProtection(true));
  EXPECT_TRUE(rig.mac.sleepDisabled);
  EXPECT_TRUE(rig.settings.enabled());
  EXPECT_TRUE(rig.caffeinate.isCaffeinateRunning());
  EXPECT_EQ(rig.mac.screenLock, "immediate");  // a switch never touches the screen lock
  EXPECT_TRUE(rig.protection.setProtection(false));
  EXPECT_FALSE(rig.mac.sleepDisabled);
  EXPECT_EQ(rig.biometrics.prompts, 2);
}

TEST(ProtectionTest, RemoteStrongWithoutThePermissionRunsTheSetUpFirst) {
  Rig rig;
  remoteStrong(rig, false);
  rig.alerts.answer(0);
  rig.alerts.answer(0, "secret");
  EXPECT_TRUE(rig.protection.setProtection(true));
  EXPECT_EQ(rig.mac.screenLock, "off");
  EXPECT_TRUE(rig.mac.sleepDisabled);
  EXPECT_TRUE(rig.settings.enabled());
}

TEST(ProtectionTest, AFailedRemoteStrongSwitchLeavesTheStoredStateAlone) {
  struct Row {
    const char* name;
    std::function<void(Rig&)> arrange;
    Strings alerts;
  };
  const Row table[] = {
      {"set-up declined", [](Rig& r) { r.mac.ruleInstalled = false, r.alerts.answer(1); }, {"リモート強制モードを設定します"}},
      {"no Touch ID", [](Rig& r) { r.biometrics.available = false; }, {"Touch IDを使用できません"}},
      {"Touch ID refused", [](Rig& r) { r.biometrics.onPrompt = [](auto reply) { reply(false); }; },
       {"Touch IDで認証できませんでした"}},
      {"pmset refused", [](Rig& r) { r.mac.pmsetChangeWorks = false; }, {kSwitchFailed}},
      {"the flag never reads back", [](Rig& r) { r.mac.readingsBehind = 1000; }, {kSwitchFailed}},
  };
  for (const auto& row : table) {
    Rig rig;
    remoteStrong(rig);
    row.arrange(rig);
    EXPECT_FALSE(rig.protection.setProtection(true)) << row.name;
    EXPECT_EQ(rig.alerts.titles(), row.alerts) << row.name;
    EXPECT_FALSE(rig.settings.enabled()) << row.name;
    EXPECT_TRUE(rig.mac.children.empty()) << row.name;
    EXPECT_FALSE(rig.protection.isSwitchInProgress()) << row.name;
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
  EXPECT_TRUE(rig.settings.enabled());
  EXPECT_TRUE(rig.mac.sleepDisabled);
  EXPECT_FALSE(rig.protection.isSwitchInProgress());
}

TEST(ProtectionTest, EverySwitchEndsRedrawnWhateverItsOutcome) {
  Rig rig;
  for (bool on : {true, false}) {
    const int before = rig.session.queries;
    rig.protection.setProtection(on);
    EXPECT_EQ(rig.session.queries, before + 1);
  }
  remoteStrong(rig);
  rig.biometrics.available = false;
  const int before = rig.session.queries;
  EXPECT_FALSE(rig.protection.setProtection(true));
  EXPECT_EQ(rig.session.queries, before + 1);
}

TEST(ProtectionTest, TheStoredStateIsAppliedWithoutAskingAndNeverAllowsSleepAgain) {
  struct Row {
    const char* name;
    const char* mode;
    bool enabled, rule, sleepBefore, sleepAfter, caffeinate;
  };
  const Row table[] = {
      {"standard on", "standard", true, false, false, false, true},
      {"standard off", "standard", false, true, true, true, false},
      {"remote on with the rule", "remoteStrong", true, true, false, true, true},
      {"remote on without the rule", "remoteStrong", true, false, false, false, true},
      {"remote off keeps sleep forbidden", "remoteStrong", false, true, true, true, false},
  };
  for (const auto& row : table) {
    Rig rig;
    rig.remember(keys::protectionMode, std::string(row.mode));
    rig.remember(keys::protectionEnabled, row.enabled);
    rig.mac.ruleInstalled = row.rule;
    rig.mac.sleepDisabled = row.sleepBefore;
    if (!row.enabled) rig.caffeinate.startCaffeinateIfNeeded();  // a predecessor's child must go
    rig.protection.applyStoredState();
    EXPECT_EQ(rig.mac.sleepDisabled, row.sleepAfter) << row.name;
    EXPECT_EQ(rig.mac.runningChildren(), row.caffeinate ? 1u : 0u) << row.name;
    EXPECT_TRUE(rig.alerts.shown.empty()) << row.name;
    EXPECT_EQ(rig.biometrics.prompts, 0) << row.name;
    EXPECT_TRUE(rig.mac.scripts.empty()) << row.name;
  }
}

}  // namespace
}  // namespace corvel
