// The interactive flows through their public entry points over fakes: remote strong set-up and
// restore, protection switching with Touch ID, and re-applying the stored state.
#include <gtest/gtest.h>
#include <thread>

#include "main/app_delegate.h"
#include "main/remote/remote_mode.h"
#include "tests/support/fake_mac.h"

namespace corvel {
namespace {

using Titles = std::vector<std::string>;

constexpr int kFirst = 1000;
constexpr int kSecond = 1001;
const std::string kConfirm = "リモート強制モードを設定します";
const std::string kSetupReason = "画面ロック防止を設定します";
const std::string kRestoreReason = "画面ロック設定を元に戻します";
const std::string kWrongPassword = "パスワードが一致しません";
const std::string kLockNotChanged = "ロック防止を設定できませんでした";
const std::string kRestoreFailed = "設定を戻せませんでした";
const std::string kSwitchFailed = "切り替えできませんでした";
const std::string kNoTouchID = "Touch IDを使用できません";
const std::string kTouchIDFailed = "Touch IDで認証できませんでした";

class FlowsTest : public test::DelegateTest {
 public:
  bool hasKey(std::string_view key) { return fake.defaults.values.count(std::string(key)) > 0; }
  std::string storedPrevious() { return fake.defaults.string(keys::previousScreenLockState).value_or("<absent>"); }
};

// ---- Set-up ----

TEST_F(FlowsTest, SetupFromImmediateRemembersItAndSwitchesTheLockOff) {
  answer(kFirst);
  answer(kFirst, "secret");
  EXPECT_TRUE(delegate->setupRemoteMode());
  EXPECT_EQ(mac.screenLock, "off");
  EXPECT_TRUE(mac.ruleInstalled);
  EXPECT_FALSE(mac.sleepDisabled);  // set-up never touches the sleep switch
  EXPECT_EQ(storedPrevious(), "immediate");
  EXPECT_TRUE(fake.defaults.boolean(keys::didDisableScreenLock));
  // Written previous first, then the flag.
  EXPECT_EQ(fake.defaults.writes, (Titles{"set PreviousScreenLockState=immediate", "set DidDisableScreenLock=true"}));
  EXPECT_EQ(fake.alerts.titles(), (Titles{kConfirm, kSetupReason}));
  const AlertRequest& confirm = fake.alerts.shown[0];
  EXPECT_EQ(confirm.buttons, (Titles{"設定する", "キャンセル"}));
  EXPECT_EQ(confirm.style, AlertStyle::warning);
  const AlertRequest& prompt = fake.alerts.shown[1];
  EXPECT_EQ(prompt.informativeText, "入力内容は保存されません。");
  EXPECT_EQ(prompt.buttons, (Titles{"続ける", "キャンセル"}));
  EXPECT_FALSE(prompt.style);
  ASSERT_TRUE(prompt.secureField);
  EXPECT_EQ(prompt.secureField->placeholder, "Macのログインパスワード");
  EXPECT_EQ(prompt.secureField->width, 320);
  EXPECT_EQ(prompt.secureField->height, 24);
  EXPECT_EQ(fake.directory.checked, (Titles{"alice:secret"}));
}

TEST_F(FlowsTest, SetupRemembersADelayAndUnknownAsImmediate) {
  const std::pair<std::string, std::string> table[] = {{"300", "300"}, {"5", "5"}, {"garbled", "immediate"}};
  for (const auto& [before, remembered] : table) {
    fake.defaults.values.clear();
    mac.screenLock = before == "garbled" ? "-1" : before;  // "-1 seconds" reads as unknown
    answer(kFirst);
    answer(kFirst, "secret");
    EXPECT_TRUE(delegate->setupRemoteMode()) << before;
    EXPECT_EQ(storedPrevious(), remembered) << before;
  }
}

TEST_F(FlowsTest, SetupWithTheLockAlreadyOffAsksNoPasswordAndWritesNoKey) {
  mac.screenLock = "off";
  answer(kFirst);
  EXPECT_TRUE(delegate->setupRemoteMode());
  EXPECT_EQ(fake.alerts.titles(), (Titles{kConfirm}));
  EXPECT_TRUE(fake.defaults.writes.empty());
  EXPECT_TRUE(mac.ruleInstalled);
}

struct SetupFailure {
  const char* name;
  std::function<void(FlowsTest&)> arrange;
  Titles alerts;
  bool ruleAfter;
};

TEST_F(FlowsTest, SetupFailuresLeaveEverythingAsTheOutcomeTableSays) {
  const SetupFailure table[] = {
      {"declined", [](FlowsTest& t) { t.answer(kSecond); }, {kConfirm}, false},
      {"confirmation closed otherwise", [](FlowsTest&) {}, {kConfirm}, false},
      {"password cancelled", [](FlowsTest& t) { t.answer(kFirst), t.answer(kSecond, "secret"); },
       {kConfirm, kSetupReason}, false},
      {"wrong password", [](FlowsTest& t) { t.answer(kFirst), t.answer(kFirst, "Secret"); },
       {kConfirm, kSetupReason, kWrongPassword}, false},
      {"empty password", [](FlowsTest& t) { t.answer(kFirst), t.answer(kFirst, ""); },
       {kConfirm, kSetupReason, kWrongPassword}, false},
      {"approval cancelled",
       [](FlowsTest& t) { t.answer(kFirst), t.answer(kFirst, "secret"), t.mac.administratorApproves = false; },
       {kConfirm, kSetupReason}, false},
      {"installed rule does not work",
       [](FlowsTest& t) { t.answer(kFirst), t.answer(kFirst, "secret"), t.mac.installedRuleWorks = false; },
       {kConfirm, kSetupReason}, false},
      {"lock change fails, rule just installed",
       [](FlowsTest& t) { t.answer(kFirst), t.answer(kFirst, "secret"), t.mac.screenLockChangeWorks = false; },
       {kConfirm, kSetupReason, kLockNotChanged}, false},
      {"lock change fails, rule there before",
       [](FlowsTest& t) {
         t.answer(kFirst), t.answer(kFirst, "secret");
         t.mac.screenLockChangeWorks = false;
         t.mac.ruleInstalled = true;
       },
       {kConfirm, kSetupReason, kLockNotChanged}, true},
  };
  for (const auto& row : table) {
    reset();
    start();
    row.arrange(*this);
    start();  // re-attach after the row changed the model
    EXPECT_FALSE(delegate->setupRemoteMode()) << row.name;
    EXPECT_EQ(fake.alerts.titles(), row.alerts) << row.name;
    EXPECT_EQ(mac.screenLock, "immediate") << row.name;
    EXPECT_EQ(mac.ruleInstalled, row.ruleAfter) << row.name;
    EXPECT_FALSE(mac.sleepDisabled) << row.name;
    EXPECT_TRUE(fake.defaults.writes.empty()) << row.name;
  }
}

// ---- Restore ----

class RestoreTest : public FlowsTest {
 public:
  void switchedOffBy(const std::string& previous) {
    mac.screenLock = "off";
    mac.ruleInstalled = true;
    mac.sleepDisabled = true;
    fake.defaults.values[std::string(keys::previousScreenLockState)] = previous;
    fake.defaults.values[std::string(keys::didDisableScreenLock)] = true;
    start();
  }
};

TEST_F(RestoreTest, PutsBackThePreviousSettingAndAllowsSleepAgain) {
  const std::pair<std::string, std::string> table[] = {
      {"immediate", "immediate"}, {"300", "300"}, {"off", "immediate"}, {"soon", "immediate"},
      {"-5", "immediate"}, {"0", "immediate"}};
  for (const auto& [stored, restored] : table) {
    switchedOffBy(stored);
    fake.alerts = {};
    fake.defaults.writes.clear();
    answer(kFirst, "secret");
    EXPECT_TRUE(delegate->restoreRemoteSettings()) << stored;
    EXPECT_EQ(mac.screenLock, restored) << stored;
    EXPECT_FALSE(mac.sleepDisabled) << stored;
    EXPECT_TRUE(mac.ruleInstalled) << stored;  // the restore never removes the permission
    EXPECT_EQ(fake.alerts.titles(), (Titles{kRestoreReason})) << stored;
    // Removed flag first, then the previous state.
    EXPECT_EQ(fake.defaults.writes, (Titles{"remove DidDisableScreenLock", "remove PreviousScreenLockState"}));
  }
}

TEST_F(RestoreTest, AbsentPreviousStateRestoresImmediate) {
  switchedOffBy("x");
  fake.defaults.remove(keys::previousScreenLockState);
  answer(kFirst, "secret");
  EXPECT_TRUE(delegate->restoreRemoteSettings());
  EXPECT_EQ(mac.screenLock, "immediate");
}

TEST_F(RestoreTest, FailuresKeepTheKeysAndTheLockOff) {
  struct Row {
    const char* name;
    std::function<void(RestoreTest&)> arrange;
    Titles alerts;
  };
  const Row table[] = {
      {"password cancelled", [](RestoreTest& t) { t.answer(kSecond, "secret"); }, {kRestoreReason}},
      {"wrong password", [](RestoreTest& t) { t.answer(kFirst, "wrong"); }, {kRestoreReason, kRestoreFailed}},
      {"change refused",
       [](RestoreTest& t) {
         t.answer(kFirst, "secret");
         t.mac.screenLockChangeWorks = false;
       },
       {kRestoreReason, kRestoreFailed}},
  };
  for (const auto& row : table) {
    reset();
    switchedOffBy("300");
    row.arrange(*this);
    start();
    fake.defaults.writes.clear();
    EXPECT_FALSE(delegate->restoreRemoteSettings()) << row.name;
    EXPECT_EQ(fake.alerts.titles(), row.alerts) << row.name;
    EXPECT_EQ(mac.screenLock, "off") << row.name;
    EXPECT_FALSE(mac.sleepDisabled) << row.name;  // sleep is allowed again all the same
    EXPECT_TRUE(fake.defaults.writes.empty()) << row.name;
  }
}

TEST_F(RestoreTest, FailingToAllowSleepStopsBeforeTheScreenLock) {
  switchedOffBy("300");
  mac.pmsetChangeWorks = false;
  start();
  EXPECT_FALSE(delegate->restoreRemoteSettings());
  EXPECT_TRUE(mac.sleepDisabled);
  EXPECT_EQ(mac.screenLock, "off");
  EXPECT_TRUE(fake.alerts.shown.empty());
  EXPECT_TRUE(hasKey(keys::didDisableScreenLock));
}

TEST_F(RestoreTest, SleepSwitchOnWithoutPermissionStaysOnAndTheLockIsStillRestored) {
  switchedOffBy("immediate");
  mac.ruleInstalled = false;
  start();
  answer(kFirst, "secret");
  EXPECT_TRUE(delegate->restoreRemoteSettings());
  EXPECT_TRUE(mac.sleepDisabled);
  EXPECT_EQ(mac.screenLock, "immediate");
}

TEST_F(RestoreTest, LockSwitchedBackOnByHandRemovesTheKeysWithoutAsking) {
  switchedOffBy("300");
  mac.screenLock = "60";
  start();
  EXPECT_TRUE(delegate->restoreRemoteSettings());
  EXPECT_TRUE(fake.alerts.shown.empty());
  EXPECT_EQ(mac.screenLock, "60");
  EXPECT_FALSE(hasKey(keys::didDisableScreenLock));
  EXPECT_FALSE(hasKey(keys::previousScreenLockState));
}

TEST_F(RestoreTest, LockNeverChangedByCorvelIsLeftAlone) {
  mac.screenLock = "off";
  start();
  EXPECT_TRUE(delegate->restoreRemoteSettings());
  EXPECT_TRUE(fake.alerts.shown.empty());
  EXPECT_EQ(mac.screenLock, "off");
  EXPECT_TRUE(fake.defaults.writes.empty());
}

TEST(DecodePreviousStateTest, Table) {
  const std::pair<std::optional<std::string>, ScreenLockState> table[] = {
      {std::nullopt, ScreenLockState::immediate()},  {"immediate", ScreenLockState::immediate()},
      {"off", ScreenLockState::immediate()},         {"300", ScreenLockState::delay(300)},
      {"+7", ScreenLockState::delay(7)},             {"-5", ScreenLockState::immediate()},
      {"0", ScreenLockState::immediate()},           {"", ScreenLockState::immediate()},
      {"-", ScreenLockState::immediate()},           {"30s", ScreenLockState::immediate()},
      {" 30", ScreenLockState::immediate()},         {"99999999999999999999", ScreenLockState::immediate()},
  };
  for (const auto& [stored, expected] : table) {
    EXPECT_EQ(decodePreviousScreenLockState(stored), expected) << stored.value_or("<none>");
  }
}

// ---- Switching ----

TEST_F(FlowsTest, StandardModeSwitchesWithoutAskingAnything) {
  EXPECT_TRUE(delegate->setProtection(true));
  EXPECT_TRUE(delegate->enabled());
  EXPECT_TRUE(delegate->isCaffeinateRunning());
  EXPECT_TRUE(delegate->setProtection(false));
  EXPECT_FALSE(delegate->enabled());
  EXPECT_FALSE(delegate->isCaffeinateRunning());
  EXPECT_EQ(fake.biometrics.prompts, 0);
  EXPECT_TRUE(fake.alerts.shown.empty());
  EXPECT_TRUE(fake.administratorScript.sources.empty());
}

TEST_F(FlowsTest, StandardModeSwitchSucceedsEvenWhenCaffeinateCannotStart) {
  fake.processes.launchSucceeds = false;
  EXPECT_TRUE(delegate->setProtection(true));
  EXPECT_TRUE(delegate->enabled());
  EXPECT_FALSE(delegate->isCaffeinateRunning());
}

TEST_F(FlowsTest, RemoteStrongSwitchWithPermissionAsksTouchIDAndSetsTheFlag) {
  delegate->setMode(ProtectionMode::remoteStrong);
  mac.ruleInstalled = true;
  start();
  EXPECT_TRUE(delegate->setProtection(true));
  EXPECT_TRUE(mac.sleepDisabled);
  EXPECT_TRUE(delegate->enabled());
  EXPECT_TRUE(delegate->isCaffeinateRunning());
  EXPECT_EQ(mac.screenLock, "immediate");  // a switch never touches the screen lock
  EXPECT_EQ(fake.biometrics.prompts, 1);
  EXPECT_EQ(fake.biometrics.reasons, (Titles{"リモート強制モードを切り替えます"}));
  EXPECT_EQ(fake.biometrics.cancelTitles, (Titles{"キャンセル"}));
  EXPECT_EQ(fake.biometrics.fallbackTitles, (Titles{""}));
  EXPECT_TRUE(delegate->setProtection(false));
  EXPECT_FALSE(mac.sleepDisabled);
  EXPECT_EQ(fake.biometrics.prompts, 2);
  EXPECT_FALSE(delegate->isSwitchInProgress());
}

TEST_F(FlowsTest, RemoteStrongSwitchFailuresLeaveTheStoredStateAlone) {
  struct Row {
    const char* name;
    std::function<void(FlowsTest&)> arrange;
    Titles alerts;
    int prompts;
  };
  const Row table[] = {
      {"set-up cancelled", [](FlowsTest& t) { t.mac.ruleInstalled = false, t.answer(kSecond); }, {kConfirm}, 0},
      {"no Touch ID", [](FlowsTest& t) { t.fake.biometrics.available = false; }, {kNoTouchID}, 0},
      {"Touch ID cancelled",
       [](FlowsTest& t) { t.fake.biometrics.onPrompt = [](std::function<void(bool)> reply) { reply(false); }; },
       {kTouchIDFailed}, 1},
      {"pmset refused", [](FlowsTest& t) { t.mac.pmsetChangeWorks = false; }, {kSwitchFailed}, 1},
  };
  for (const auto& row : table) {
    reset();
    mac.ruleInstalled = true;
    fake.defaults.values[std::string(keys::protectionMode)] = std::string("remoteStrong");
    row.arrange(*this);
    start();
    fake.defaults.writes.clear();
    EXPECT_FALSE(delegate->setProtection(true)) << row.name;
    EXPECT_EQ(fake.alerts.titles(), row.alerts) << row.name;
    EXPECT_EQ(fake.biometrics.prompts, row.prompts) << row.name;
    EXPECT_FALSE(delegate->enabled()) << row.name;
    EXPECT_TRUE(fake.defaults.writes.empty()) << row.name;
    EXPECT_TRUE(fake.processes.launches.empty()) << row.name;
    EXPECT_FALSE(delegate->isSwitchInProgress()) << row.name;
  }
}

TEST_F(FlowsTest, FlagThatDoesNotReadBackInTimeFailsTheSwitch) {
  fake.defaults.values[std::string(keys::protectionMode)] = std::string("remoteStrong");
  mac.ruleInstalled = true;
  start();
  auto respond = fake.processes.respond;
  fake.processes.respond = [respond](const test::ProcessCall& call) {
    if (call.executable == "/usr/bin/pmset") return ProcessResult{0, "SleepDisabled 0\n"};
    return respond(call);
  };
  EXPECT_FALSE(delegate->setProtection(true));
  EXPECT_EQ(fake.alerts.titles(), (Titles{kSwitchFailed}));
  EXPECT_FALSE(delegate->enabled());
  EXPECT_EQ(fake.clock.sleeps, 30);
}

TEST_F(FlowsTest, RemoteStrongWithoutPermissionRunsTheSetUpFirst) {
  fake.defaults.values[std::string(keys::protectionMode)] = std::string("remoteStrong");
  answer(kFirst);
  answer(kFirst, "secret");
  start();
  EXPECT_TRUE(delegate->setProtection(true));
  EXPECT_EQ(fake.alerts.titles(), (Titles{kConfirm, kSetupReason}));
  EXPECT_EQ(mac.screenLock, "off");
  EXPECT_TRUE(mac.sleepDisabled);
  EXPECT_TRUE(delegate->enabled());
}

TEST_F(FlowsTest, AToggleDuringTheTouchIDWaitDoesNothing) {
  fake.defaults.values[std::string(keys::protectionMode)] = std::string("remoteStrong");
  mac.ruleInstalled = true;
  start();
  std::function<void(bool)> pendingReply;
  fake.biometrics.onPrompt = [&](std::function<void(bool)> reply) { pendingReply = std::move(reply); };
  int nestedToggles = 0;
  bool nestedSetResult = true;
  std::thread replier;
  fake.application.onRunOnce = [&](double slice) {
    EXPECT_DOUBLE_EQ(slice, 0.05);
    // While the prompt is up the loop turns: clicks arrive and must change nothing.
    if (nestedToggles < 3) {
      ++nestedToggles;
      delegate->toggleProtection();
      nestedSetResult = nestedSetResult && delegate->setProtection(false);
      EXPECT_TRUE(delegate->isSwitchInProgress());
      if (nestedToggles == 3) replier = std::thread([&] { pendingReply(true); });  // from another thread
    }
  };
  EXPECT_TRUE(delegate->setProtection(true));
  replier.join();
  EXPECT_FALSE(nestedSetResult);
  EXPECT_EQ(fake.biometrics.prompts, 1);
  EXPECT_TRUE(delegate->enabled());
  EXPECT_GE(fake.application.turns, 3);
  // One probe (re-setting the current value) and one switch, however many clicks came in between.
  EXPECT_EQ(fake.processes.countCalls({"-n", "/usr/bin/pmset", "-a", "disablesleep", "0"}), 1);
  EXPECT_EQ(fake.processes.countCalls({"-n", "/usr/bin/pmset", "-a", "disablesleep", "1"}), 1);
  EXPECT_FALSE(delegate->isSwitchInProgress());
}

TEST_F(FlowsTest, EverySwitchPastTheGuardEndsIdleAndRefreshed) {
  // The refresh reads the session lock; count those reads to see it happened after each switch.
  for (bool on : {true, false, true}) {
    const int before = fake.session.queries;
    delegate->setProtection(on);
    EXPECT_FALSE(delegate->isSwitchInProgress());
    EXPECT_EQ(fake.session.queries, before + 1);
  }
  fake.defaults.values[std::string(keys::protectionMode)] = std::string("remoteStrong");
  fake.biometrics.available = false;
  mac.ruleInstalled = true;
  const int before = fake.session.queries;
  EXPECT_FALSE(delegate->setProtection(false));
  EXPECT_EQ(fake.session.queries, before + 1);
  EXPECT_FALSE(delegate->isSwitchInProgress());
}

TEST_F(FlowsTest, ToggleAsksForTheOppositeOfTheStoredState) {
  delegate->toggleProtection();
  EXPECT_TRUE(delegate->enabled());
  delegate->toggleProtection();
  EXPECT_FALSE(delegate->enabled());
}

// ---- Re-applying the stored state ----

TEST_F(FlowsTest, ApplyStoredStateNeverAsksAndNeverAllowsSleepAgain) {
  struct Row {
    const char* name;
    const char* mode;
    bool enabled;
    bool rule;
    bool sleepBefore;
    bool sleepAfter;
    bool caffeinate;
  };
  const Row table[] = {
      {"standard on", "standard", true, false, false, false, true},
      {"standard off", "standard", false, false, false, false, false},
      {"remote on with rule", "remoteStrong", true, true, false, true, true},
      {"remote on without rule", "remoteStrong", true, false, false, false, true},
      {"remote off keeps sleep disabled", "remoteStrong", false, true, true, true, false},
  };
  for (const auto& row : table) {
    reset();
    mac.ruleInstalled = row.rule;
    mac.sleepDisabled = row.sleepBefore;
    fake.defaults.values[std::string(keys::protectionMode)] = std::string(row.mode);
    fake.defaults.values[std::string(keys::protectionEnabled)] = row.enabled;
    start();
    fake.defaults.writes.clear();
    delegate->applyStoredState();
    EXPECT_EQ(mac.sleepDisabled, row.sleepAfter) << row.name;
    EXPECT_EQ(delegate->isCaffeinateRunning(), row.caffeinate) << row.name;
    EXPECT_TRUE(fake.alerts.shown.empty()) << row.name;
    EXPECT_EQ(fake.biometrics.prompts, 0) << row.name;
    EXPECT_TRUE(fake.administratorScript.sources.empty()) << row.name;
    // Nothing of the settings is written; only the child's pid is kept, for a relaunch to find.
    for (const auto& write : fake.defaults.writes) {
      EXPECT_NE(write.find("CaffeinateProcessIdentifier"), std::string::npos) << row.name << ": " << write;
    }
    EXPECT_EQ(fake.session.queries, 0) << row.name;  // no refresh of its own
  }
}

}  // namespace
}  // namespace corvel
