// Setting the Mac up for remote strong mode and putting it back, against the fake Mac.
#include <gtest/gtest.h>

#include "tests/unit/fakes.h"

namespace corvel {
namespace {

using test::Rig;
using test::Strings;

const std::string kConfirm = "リモート強制モードを設定します";
const std::string kSetupReason = "画面ロック防止を設定します";
const std::string kRestoreReason = "画面ロック設定を元に戻します";
const std::string kWrongPassword = "パスワードが一致しません";
const std::string kLockNotChanged = "ロック防止を設定できませんでした";
const std::string kRestoreFailed = "設定を戻せませんでした";

void confirmWithPassword(Rig& rig, const std::string& typed = "secret") {
  rig.alerts.answer(0);
  rig.alerts.answer(0, typed);
}

TEST(RemoteModeSetupTest, SwitchesTheLockOffAndRemembersWhatItWas) {
  const std::pair<std::string, std::string> table[] = {{"immediate", "immediate"}, {"300", "300"}, {"-1", "immediate"}};
  for (const auto& [before, remembered] : table) {
    Rig rig;
    rig.mac.screenLock = before;  // "-1 seconds" reads as unknown
    confirmWithPassword(rig);
    EXPECT_TRUE(rig.remoteMode.setupRemoteMode()) << before;
    EXPECT_EQ(rig.mac.screenLock, "off");
    EXPECT_TRUE(rig.mac.ruleInstalled);
    EXPECT_FALSE(rig.mac.sleepDisabled);  // the set-up never touches the sleep switch
    EXPECT_EQ(rig.defaults.string(keys::previousScreenLockState), remembered);
    EXPECT_TRUE(rig.defaults.boolean(keys::didDisableScreenLock));
    EXPECT_EQ(rig.alerts.titles(), (Strings{kConfirm, kSetupReason}));
    EXPECT_EQ(rig.mac.passwordChecks, (Strings{"alice:secret"}));
  }
}

TEST(RemoteModeSetupTest, WithTheLockAlreadyOffNoPasswordIsAskedAndNothingRemembered) {
  Rig rig;
  rig.mac.screenLock = "off";
  rig.alerts.answer(0);
  EXPECT_TRUE(rig.remoteMode.setupRemoteMode());
  EXPECT_EQ(rig.alerts.titles(), (Strings{kConfirm}));
  EXPECT_TRUE(rig.defaults.writes.empty());
  EXPECT_TRUE(rig.mac.ruleInstalled);
}

TEST(RemoteModeSetupTest, EveryFailureLeavesTheMacAsItWas) {
  struct Row {
    const char* name;
    std::function<void(Rig&)> arrange;
    Strings alerts;
    bool ruleAfter = false;
  };
  const Row table[] = {
      {"declined", [](Rig& r) { r.alerts.answer(1); }, {kConfirm}},
      {"closed without a press", [](Rig&) {}, {kConfirm}},
      {"password cancelled", [](Rig& r) { r.alerts.answer(0), r.alerts.answer(1, "secret"); }, {kConfirm, kSetupReason}},
      {"wrong password", [](Rig& r) { confirmWithPassword(r, "Secret"); }, {kConfirm, kSetupReason, kWrongPassword}},
      {"approval cancelled", [](Rig& r) { confirmWithPassword(r), r.mac.administratorApproves = false; },
       {kConfirm, kSetupReason}},
      // The drop-in landed, so it stays (removed by the restore); sudo refuses it all the same.
      {"installed rule does not work", [](Rig& r) { confirmWithPassword(r), r.mac.installedRuleWorks = false; },
       {kConfirm, kSetupReason}, true},
      {"lock change refused, rule just installed",
       [](Rig& r) { confirmWithPassword(r), r.mac.screenLockChangeWorks = false; },
       {kConfirm, kSetupReason, kLockNotChanged}},
      {"lock change refused, rule there before",
       [](Rig& r) { confirmWithPassword(r), r.mac.screenLockChangeWorks = false, r.mac.ruleInstalled = true; },
       {kConfirm, kSetupReason, kLockNotChanged}, true},
  };
  for (const auto& row : table) {
    Rig rig;
    row.arrange(rig);
    EXPECT_FALSE(rig.remoteMode.setupRemoteMode()) << row.name;
    EXPECT_EQ(rig.alerts.titles(), row.alerts) << row.name;
    EXPECT_EQ(rig.mac.screenLock, "immediate") << row.name;
    EXPECT_EQ(rig.mac.ruleInstalled, row.ruleAfter) << row.name;
    EXPECT_TRUE(rig.defaults.writes.empty()) << row.name;
  }
}

// The state a completed set-up leaves, with sleep forbidden since.
void setUpBefore(Rig& rig, const std::string& previous) {
  rig.mac.screenLock = "off";
  rig.mac.ruleInstalled = true;
  rig.mac.sleepDisabled = true;
  rig.remember(keys::previousScreenLockState, previous);
  rig.remember(keys::didDisableScreenLock, true);
}

TEST(RemoteModeRestoreTest, PutsBackTheRememberedSettingAndAllowsSleepAgain) {
  const std::pair<std::string, std::string> table[] = {
      {"immediate", "immediate"}, {"300", "300"}, {"off", "immediate"}, {"-5", "immediate"}, {"0", "immediate"}};
  for (const auto& [stored, restored] : table) {
    Rig rig;
    setUpBefore(rig, stored);
    rig.alerts.answer(0, "secret");
    EXPECT_TRUE(rig.remoteMode.restoreRemoteSettings()) << stored;
    EXPECT_EQ(rig.mac.screenLock, restored) << stored;
    EXPECT_FALSE(rig.mac.sleepDisabled) << stored;
    EXPECT_TRUE(rig.mac.ruleInstalled) << stored;  // the permission is the quit command's to remove
    EXPECT_EQ(rig.alerts.titles(), (Strings{kRestoreReason})) << stored;
    EXPECT_FALSE(rig.defaults.has(keys::didDisableScreenLock));
    EXPECT_FALSE(rig.defaults.has(keys::previousScreenLockState));
  }
}

TEST(RemoteModeRestoreTest, AFailureKeepsTheLockOffAndWhatWasRemembered) {
  struct Row {
    const char* name;
    std::function<void(Rig&)> arrange;
    Strings alerts;
  };
  const Row table[] = {
      {"password cancelled", [](Rig& r) { r.alerts.answer(1, "secret"); }, {kRestoreReason}},
      {"wrong password", [](Rig& r) { r.alerts.answer(0, "wrong"); }, {kRestoreReason, kRestoreFailed}},
      {"change refused", [](Rig& r) { r.alerts.answer(0, "secret"), r.mac.screenLockChangeWorks = false; },
       {kRestoreReason, kRestoreFailed}},
      // Sleep is allowed first; when that fails, the lock is not even asked about.
      {"sleep cannot be allowed", [](Rig& r) { r.mac.pmsetChangeWorks = false; }, {}},
  };
  for (const auto& row : table) {
    Rig rig;
    setUpBefore(rig, "300");
    row.arrange(rig);
    rig.defaults.writes.clear();
    EXPECT_FALSE(rig.remoteMode.restoreRemoteSettings()) << row.name;
    EXPECT_EQ(rig.alerts.titles(), row.alerts) << row.name;
    EXPECT_EQ(rig.mac.screenLock, "off") << row.name;
    EXPECT_TRUE(rig.defaults.writes.empty()) << row.name;
  }
}

TEST(RemoteModeRestoreTest, WithoutThePermissionTheSleepSwitchStaysAndTheLockIsStillPutBack) {
  Rig rig;
  setUpBefore(rig, "immediate");
  rig.mac.installedRuleWorks = false;
  rig.alerts.answer(0, "secret");
  EXPECT_TRUE(rig.remoteMode.restoreRemoteSettings());
  EXPECT_TRUE(rig.mac.sleepDisabled);
  EXPECT_EQ(rig.mac.screenLock, "immediate");
}

TEST(RemoteModeRestoreTest, ALockNotOffOrNotOursIsLeftAloneWithoutAsking) {
  Rig byHand;  // switched back on by the user: nothing of ours left to restore
  setUpBefore(byHand, "300");
  byHand.mac.screenLock = "60";
  EXPECT_TRUE(byHand.remoteMode.restoreRemoteSettings());
  EXPECT_EQ(byHand.mac.screenLock, "60");
  EXPECT_FALSE(byHand.defaults.has(keys::didDisableScreenLock));
  EXPECT_FALSE(byHand.defaults.has(keys::previousScreenLockState));
  EXPECT_TRUE(byHand.alerts.shown.empty());

  Rig neverOurs;
  neverOurs.mac.screenLock = "off";
  EXPECT_TRUE(neverOurs.remoteMode.restoreRemoteSettings());
  EXPECT_EQ(neverOurs.mac.screenLock, "off");
  EXPECT_TRUE(neverOurs.alerts.shown.empty());
}

}  // namespace
}  // namespace corvel
