// Setting the Mac up for remote strong mode and putting it back.
#include "tests/unit/fakes.h"

namespace corvel::test {
namespace {

const std::string kConfirm = "リモート強制モードを設定します", kSetupReason = "画面ロック防止を設定します";

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
  using F = Failure;
  const std::pair<std::size_t, std::string> go{0, ""}, right{0, "secret"};
  const std::tuple<std::function<void(Rig&)>, Failure, bool> table[] = {
      {answers({{1, ""}}), F::cancelled, false},
      {answers({}), F::cancelled, false},  // closed without a press
      {answers({go, {1, "secret"}}), F::cancelled, false},
      {answers({go, {0, "Secret"}}), F::setupPasswordWrong, false},
      {answers({go, right}, &M::administratorApproves), F::permissionNotInstalled, false},
      // sudo refuses the drop-in now (say, for a broken neighbour in the folder) but would grant as
      // soon as that is mended, although the set-up never completed: it is taken back.
      {answers({go, right}, &M::installedRuleWorks), F::permissionNotInstalled, false},
      {answers({go, right}, &M::screenLockChangeWorks), F::screenLockNotDisabled, false},
      {answers({go, right}, &M::screenLockChangeWorks), F::screenLockNotDisabled, true},  // the rule was there before
  };
  for (const auto& [arrange, failure, ruleBefore] : table) {
    Rig rig;
    rig.mac.ruleInstalled = ruleBefore;
    arrange(rig);
    EXPECT_EQ(rig.remoteMode.setupRemoteMode(), failure);
    EXPECT_EQ(rig.mac.screenLock, "immediate");
    EXPECT_EQ(rig.mac.ruleInstalled, ruleBefore);
    EXPECT_TRUE(rig.defaults.values.empty());  // what was recorded ahead of the change is taken back
  }
}

TEST(RemoteModeRestoreTest, PutsBackWhatCorvelChangedOrKeepsTheLockOffAndTheRecord) {
  using F = Failure;
  const std::pair<std::size_t, std::string> right{0, "secret"};
  // What was stored before, the person and the Mac, the outcome, and the lock and sleep after.
  const std::tuple<std::string, std::function<void(Rig&)>, Outcome, std::string, bool> rows[] = {
      {"300", answers({right}), Done, "300", false},
      // A delay the tool refuses could never be put back: the lock would stay off for good.
      {"2147483648", answers({right}), Done, "immediate", false},
      // A restore that does not succeed leaves sleep forbidden as it found it: the password comes first,
      // and sleep is forbidden again when the lock cannot be put back.
      {"300", answers({{1, "secret"}}), F::cancelled, "off", true},
      {"300", answers({{0, "wrong"}}), F::restorePasswordWrong, "off", true},
      {"300", answers({right}, &M::screenLockChangeWorks), F::screenLockNotRestored, "off", true},
      // Without the rule sleep stays disabled, but the lock is put back all the same.
      {"60", answers({right}, &M::installedRuleWorks), Done, "60", true},
      {"300", answers({right}, &M::pmsetChangeWorks), F::sleepNotAllowedAgain, "off", true},  // before the lock
      // Switched back on by hand, or off but never by Corvel: nothing of Corvel's is left to restore.
      {"300", [](Rig& r) { r.mac.screenLock = "60"; }, Done, "60", false},
      {"300", [](Rig& r) { r.defaults.values.clear(); }, Done, "off", false},
  };
  for (const auto& [previous, arrange, outcome, lockAfter, sleepDisabledAfter] : rows) {
    Rig rig;
    // What a completed set-up leaves, with sleep forbidden since.
    rig.mac.screenLock = "off";
    rig.mac.ruleInstalled = rig.mac.sleepDisabled = true;
    rig.defaults.set("PreviousScreenLockState", previous);
    rig.defaults.set("DidDisableScreenLock", true);
    arrange(rig);
    const auto stored = rig.defaults.values;
    EXPECT_EQ(rig.remoteMode.restoreRemoteSettings(), outcome) << previous;
    EXPECT_EQ(rig.mac.screenLock, lockAfter);
    EXPECT_EQ(rig.mac.sleepDisabled, sleepDisabledAfter) << previous;
    EXPECT_EQ(rig.defaults.values, outcome ? decltype(stored){} : stored) << previous;
    EXPECT_TRUE(rig.mac.ruleInstalled);  // the permission is the quit command's to remove
  }
}

}  // namespace
}  // namespace corvel::test
