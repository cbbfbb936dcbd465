// Setting the Mac up for remote strong mode and putting it back.
#include "tests/unit/fakes.h"

namespace corvel::test {
namespace {

const std::string kConfirm = "リモート強制モードを設定します", kSetupReason = "画面ロック防止を設定します",
                  kRestoreReason = "画面ロック設定を元に戻します", kRestoreFailed = "設定を戻せませんでした";

using M = FakeMac;

// The person's answers, and one thing of the Mac's that fails.
std::function<void(Rig&)> answers(std::vector<std::pair<std::size_t, std::string>> pressed, bool M::*fails = nullptr) {
  return [=](Rig& rig) {
    for (const auto& [button, typed] : pressed) rig.desk.answer(button, typed);
    if (fails) rig.mac.*fails = false;
  };
}

// A reading that says nothing ("never" does not parse) counts as a lock that is on: it is switched off
// and remembered as immediate. A lock already off needs no password and leaves nothing to put back.
TEST(RemoteModeSetupTest, SwitchesTheLockOffAndRemembersWhatItWasBeforeChangingIt) {
  using Remembered = std::optional<std::string>;
  for (const auto& [before, remembered] :
       {std::pair<std::string, Remembered>{"300", "300"}, {"never", "immediate"}, {"off", std::nullopt}}) {
    Rig rig;
    rig.mac.screenLock = before;
    answers({{0, ""}, {0, "secret"}})(rig);
    // A Corvel killed during the change must still know what to put back.
    decltype(rig.defaults.values) storedAtTheChange;
    rig.mac.onRun = [&](const std::string& line) {
      if (line.ends_with("-password -")) storedAtTheChange = rig.defaults.values;
    };
    EXPECT_TRUE(rig.remoteMode.setupRemoteMode()) << before;
    EXPECT_EQ(rig.mac.screenLock, "off") << before;
    EXPECT_TRUE(rig.mac.ruleInstalled && !rig.mac.sleepDisabled) << before;
    EXPECT_EQ(rig.defaults.string("PreviousScreenLockState"), remembered) << before;
    EXPECT_EQ(rig.defaults.boolean("DidDisableScreenLock"), remembered.has_value()) << before;
    EXPECT_EQ(storedAtTheChange, rig.defaults.values) << before;
    EXPECT_EQ(rig.desk.titles, remembered ? Strings({kConfirm, kSetupReason}) : Strings(1, kConfirm)) << before;
    expectAlertsAsWritten(rig.desk);
  }
}

TEST(RemoteModeSetupTest, EveryFailureLeavesTheMacAsItWas) {
  const Strings asked{kConfirm, kSetupReason}, lockRefused{kConfirm, kSetupReason, "ロック防止を設定できませんでした"};
  const std::pair<std::size_t, std::string> go{0, ""}, right{0, "secret"};
  const std::tuple<std::function<void(Rig&)>, Strings, bool> table[] = {
      {answers({{1, ""}}), {kConfirm}, false},
      {answers({}), {kConfirm}, false},  // closed without a press
      {answers({go, {1, "secret"}}), asked, false},
      {answers({go, {0, "Secret"}}), {kConfirm, kSetupReason, "パスワードが一致しません"}, false},
      {answers({go, right}, &M::administratorApproves), asked, false},
      // sudo refuses the drop-in now (say, for a broken neighbour in the folder) but would grant as
      // soon as that is mended, although the set-up never completed: it is taken back.
      {answers({go, right}, &M::installedRuleWorks), asked, false},
      {answers({go, right}, &M::screenLockChangeWorks), lockRefused, false},
      {answers({go, right}, &M::screenLockChangeWorks), lockRefused, true},  // the rule was there before
  };
  for (const auto& [arrange, alerts, ruleBefore] : table) {
    Rig rig;
    rig.mac.ruleInstalled = ruleBefore;
    arrange(rig);
    EXPECT_FALSE(rig.remoteMode.setupRemoteMode());
    EXPECT_EQ(rig.desk.titles, alerts);
    EXPECT_EQ(rig.mac.screenLock, "immediate");
    EXPECT_EQ(rig.mac.ruleInstalled, ruleBefore);
    EXPECT_TRUE(rig.defaults.values.empty());  // what was recorded ahead of the change is taken back
    expectAlertsAsWritten(rig.desk);
  }
}

TEST(RemoteModeRestoreTest, PutsBackWhatCorvelChangedOrKeepsTheLockOffAndTheRecord) {
  const std::pair<std::size_t, std::string> right{0, "secret"};
  // What was stored before, the person and the Mac, whether restored, the lock and sleep after, the alerts.
  const std::tuple<std::string, std::function<void(Rig&)>, bool, std::string, bool, Strings> rows[] = {
      {"300", answers({right}), true, "300", false, {kRestoreReason}},
      // A delay the tool refuses could never be put back: the lock would stay off for good.
      {"2147483648", answers({right}), true, "immediate", false, {kRestoreReason}},
      // A restore that does not succeed leaves sleep forbidden as it found it: the password comes first,
      // and sleep is forbidden again when the lock cannot be put back.
      {"300", answers({{1, "secret"}}), false, "off", true, {kRestoreReason}},
      {"300", answers({{0, "wrong"}}), false, "off", true, {kRestoreReason, kRestoreFailed}},
      {"300", answers({right}, &M::screenLockChangeWorks), false, "off", true, {kRestoreReason, kRestoreFailed}},
      // Without the rule sleep stays disabled, but the lock is put back all the same.
      {"60", answers({right}, &M::installedRuleWorks), true, "60", true, {kRestoreReason}},
      {"300", answers({right}, &M::pmsetChangeWorks), false, "off", true, {kRestoreReason}},  // before the lock
      // Switched back on by hand, or off but never by Corvel: nothing of Corvel's is left to restore.
      {"300", [](Rig& r) { r.mac.screenLock = "60"; }, true, "60", false, {}},
      {"300", [](Rig& r) { r.defaults.values.clear(); }, true, "off", false, {}},
  };
  for (const auto& [previous, arrange, restores, lockAfter, sleepDisabledAfter, alerts] : rows) {
    Rig rig;
    // What a completed set-up leaves, with sleep forbidden since.
    rig.mac.screenLock = "off";
    rig.mac.ruleInstalled = rig.mac.sleepDisabled = true;
    rig.defaults.set("PreviousScreenLockState", previous);
    rig.defaults.set("DidDisableScreenLock", true);
    arrange(rig);
    const auto stored = rig.defaults.values;
    const bool restored = rig.remoteMode.restoreRemoteSettings();
    EXPECT_EQ(restored, restores) << previous;
    EXPECT_EQ(rig.mac.screenLock, lockAfter);
    EXPECT_EQ(rig.mac.sleepDisabled, sleepDisabledAfter) << previous;
    EXPECT_EQ(rig.desk.titles, alerts);
    EXPECT_EQ(rig.defaults.values, restored ? decltype(stored){} : stored) << previous;
    EXPECT_TRUE(rig.mac.ruleInstalled);  // the permission is the quit command's to remove
    expectAlertsAsWritten(rig.desk);
  }
}

}  // namespace
}  // namespace corvel::test
