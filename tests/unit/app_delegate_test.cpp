// The application callbacks, the two quit commands, and what runs nested in a switch, with Corvel wired
// to the fakes.
#include <random>
#include <thread>

#include "tests/unit/fakes.h"

namespace corvel::test {
namespace {

struct AppDelegateTest : ::testing::Test, Rig {
  void SetUp() override { delegate->applicationDidFinishLaunching(); }
};

// Launched with no toggle to follow, so that a test's clicks are the only ones.
void launch(Rig& r) { r.mac.variables.emplace("CORVEL_NO_TOGGLE", "1"), r.delegate->applicationDidFinishLaunching(); }

TEST_F(AppDelegateTest, ALaunchRegistersShowsTheStateTogglesShortlyAfterAndRefreshesFromThenOn) {
  ASSERT_EQ(std::tuple(launch.agentCalls, statusBar.title, desk.delayed.size(), desk.timers.size()),
            std::tuple(Strings{"register"}, "⚫ スリープ防止 OFF", 1u, 1u))
      << "(agent calls, title, delayed calls, timers)";
  using std::chrono::milliseconds;
  EXPECT_EQ(desk.waits, (std::vector<milliseconds>{milliseconds(2000), milliseconds(200)}));  // refresh, toggle
  desk.delayed[0]();
  EXPECT_TRUE(settings.enabled() && mac.runningChildren() == 1);
  mac.sessionLocked = true;  // a change no click made
  desk.timers[0]();
  EXPECT_EQ(statusBar.title, "🟠 ON・現在ロック中");
}

// A relaunch after a crash, or CORVEL_NO_TOGGLE=1, keeps the state; the argument counts only whole and
// as written, the switch only as "1". The watchdog is registered before anything is applied or drawn;
// a registration only the person can put right is told, and protection carries on regardless.
TEST(AppDelegateLaunchTest, ARelaunchKeepsTheStoredStateAndShowsItAtOnce) {
  const std::tuple<Strings, std::optional<std::string>, bool, Strings> table[] = {
      {{"Corvel", "-x", "--watchdog-launch"}, std::nullopt, false, {}},
      {{"Corvel", "--watchdog-launch"}, std::nullopt, false, {"自動再起動を登録できませんでした"}},
      {{"Corvel"}, "1", false, {}},
      {{"Corvel", "--watchdog-launch=1", "--Watchdog-Launch"}, "true", true, {}}};
  for (const auto& [arguments, noToggle, toggles, alerts] : table) {
    Rig corvel;
    corvel.mac.argumentList = arguments;
    if (noToggle) corvel.mac.variables["CORVEL_NO_TOGGLE"] = *noToggle;
    if (!alerts.empty()) corvel.launch.registrationFailure = AgentRegistrationFailure::requiresApproval;
    corvel.settings.setEnabled(true);
    bool registeredFirst = false;
    corvel.launch.onRegister = [&] { registeredFirst = corvel.mac.children.empty() && corvel.desk.icons.empty(); };
    corvel.delegate->applicationDidFinishLaunching();
    EXPECT_TRUE(registeredFirst);
    EXPECT_EQ(corvel.desk.titles, alerts);
    EXPECT_EQ(corvel.desk.delayed.size(), toggles ? 1u : 0u);
    EXPECT_EQ(corvel.desk.timers.size(), 1u);
    EXPECT_EQ(corvel.statusBar.title, "🟢 スリープ防止 ON");
    corvel.delegate.reset();  // a delayed toggle must not keep it alive
    for (const auto& task : corvel.desk.delayed) task();
    EXPECT_TRUE(corvel.settings.enabled());
  }
}

TEST_F(AppDelegateTest, ADockClickTogglesAndTheQuitGuardRefusesWhileOn) {
  EXPECT_FALSE(delegate->applicationShouldHandleReopen(false));  // nothing to open
  EXPECT_EQ(delegate->applicationShouldTerminate(), TerminateReply::cancel);
  EXPECT_TRUE(settings.enabled());
  EXPECT_EQ(desk.titles, Strings{"スリープ防止がONです"});
  // An exit nobody asked for stops the child but keeps the agent, so the watchdog brings Corvel back.
  delegate->applicationWillTerminate();
  EXPECT_EQ(std::tuple(mac.runningChildren(), launch.agentCalls.back()), std::tuple(0u, "register"));
  delegate->applicationShouldHandleReopen(true);
  EXPECT_EQ(delegate->applicationShouldTerminate(), TerminateReply::now);
  delegate->applicationWillTerminate();
  EXPECT_EQ(launch.agentCalls.back(), "unregister");
}

// What the person reads of each failure, exactly; nothing for their own answers and for what they
// cannot act on.
TEST(FailureAlertsTest, EveryFailureIsToldInItsOwnWordsOrNotAtAll) {
  using F = Failure;
  const std::string restore = "Macのログインパスワードと画面ロック設定を確認してください。",
                    watchdog = "自動再起動を登録できませんでした";
  const std::map<F, std::pair<std::string, std::string>> told{
      {F::touchIDUnavailable, {"Touch IDを使用できません", "システム設定でTouch IDが有効か確認してください。"}},
      {F::touchIDRejected,
       {"Touch IDで認証できませんでした", "認証がキャンセルされたか、指紋を確認できませんでした。"}},
      {F::setupPasswordWrong,
       {"パスワードが一致しません", "Apple Accountではなく、Macへのログインに使うパスワードを入力してください。"}},
      {F::screenLockNotDisabled, {"ロック防止を設定できませんでした", "macOSの画面ロック設定を変更できませんでした。"}},
      {F::restorePasswordWrong, {"設定を戻せませんでした", restore}},
      {F::screenLockNotRestored, {"設定を戻せませんでした", restore}},
      {F::sleepSwitchFailed, {"切り替えできませんでした", "強制スリープ設定を変更できませんでした。"}},
      {F::quitRefusedWhileOn, {"スリープ防止がONです", "先にアイコンをクリックしてOFFにしてください。"}},
      {F::restoreIncomplete, {"設定を完全に戻せませんでした", "画面の案内を確認し、もう一度お試しください。"}},
      {F::watchdogNeedsApproval,
       {watchdog,
        "システム設定 › 一般 › ログイン項目でCorvelのバックグラウンド実行を許可し、Corvelを開き直してください。"}},
      {F::watchdogSignatureRefused,
       {watchdog,
        "Corvelの署名が受け付けられませんでした。「OFFにして終了」で終了してから開き直し、システム設定 › 一般 › "
        "ログイン項目でCorvelが許可されているか確認してください。"}},
  };
  for (int i = 0; i <= static_cast<int>(LastFailure); ++i) {
    const auto alert = alertFor(static_cast<F>(i));
    const auto it = told.find(static_cast<F>(i));
    ASSERT_EQ(alert.has_value(), it != told.end()) << "failure #" << i;
    if (!alert) continue;
    EXPECT_EQ(std::pair(alert->messageText, alert->informativeText), it->second) << i;
    EXPECT_EQ(alert->style, AlertStyle::warning) << i;
    EXPECT_TRUE(alert->buttons.empty() && !alert->secureField) << i;  // the platform's one button
  }
}

// It quits only once off; what switching off leaves of the Mac is the switch's own.
TEST(AppDelegateQuitTest, TurnOffAndQuitQuitsOnlyOnceOff) {
  // The fault, whether on (and sleep forbidden) and the rule; then whether it quits.
  const std::tuple<std::string, bool, bool, bool> table[] = {
      {"", true, true, true},  {"no finger", true, true, false}, {"", false, false, true},
      {"", true, false, true}, {"cancel", true, false, false},
  };
  for (const auto& [fault, enabled, rule, quits] : table) {
    Rig corvel;
    corvel.remoteStrong();
    corvel.mac.ruleInstalled = rule;
    corvel.mac.sleepDisabled = enabled;
    corvel.desk.touchID = fault != "no finger";
    corvel.mac.administratorCancels = fault == "cancel";
    corvel.settings.setEnabled(enabled);
    launch(corvel);
    corvel.statusBar.choose("OFFにして終了");
    SCOPED_TRACE(fault + (enabled ? " on" : " off") + (rule ? " rule" : ""));
    EXPECT_EQ(corvel.desk.terminations, quits ? 1 : 0);
    EXPECT_EQ(corvel.settings.enabled(), !quits);
    EXPECT_EQ(corvel.launch.agentCalls.back(), quits ? "unregister" : "register");
  }
}

// The chain stops at the first step that fails: a switch off refused by the finger restores nothing.
TEST(AppDelegateQuitTest, RestoreAndQuitQuitsOnlyWhenEverythingIsPutBack) {
  const std::string confirm = "Macの設定を元に戻しますか？", reason = "画面ロック設定を元に戻します",
                    incomplete = "設定を完全に戻せませんでした";
  // The confirmation pressed, the password typed, whether the removal is approved, whether Corvel is on
  // in remote strong mode with the finger refused; whether it quits, and the alerts shown. The password
  // comes first: a wrong one, like a refused finger, leaves protection on.
  const std::tuple<std::size_t, std::string, bool, bool, bool, Strings> rows[] = {
      {1, "secret", true, false, false, {confirm}},
      {0, "secret", true, false, true, {confirm, reason}},
      {0, "wrong", true, false, false, {confirm, reason, "設定を戻せませんでした", incomplete}},
      {0, "secret", false, false, false, {confirm, reason, incomplete}},
      {0, "secret", true, true, false, {confirm, reason, "Touch IDで認証できませんでした", incomplete}},
  };
  for (const auto& [pressed, typed, removalApproved, remoteFingerRefused, quits, alerts] : rows) {
    Rig corvel;
    corvel.mac.screenLock = "off";
    corvel.mac.ruleInstalled = true;
    corvel.mac.administratorApproves = removalApproved;
    corvel.defaults.set("DidDisableScreenLock", true);
    corvel.settings.setEnabled(true);
    if (remoteFingerRefused) {
      corvel.remoteStrong();
      corvel.mac.sleepDisabled = true;
      corvel.desk.onPrompt = [](auto reply) { reply(false); };
    }
    corvel.desk.answer(pressed);
    corvel.desk.answer(0, typed);
    corvel.delegate->applicationDidFinishLaunching();
    corvel.statusBar.choose("設定を元に戻して終了…");
    const bool lockRestored = pressed == 0 && typed == "secret" && !remoteFingerRefused;
    EXPECT_EQ(corvel.desk.titles, alerts);
    EXPECT_EQ(corvel.mac.screenLock, lockRestored ? "immediate" : "off") << alerts.back();
    EXPECT_EQ(corvel.mac.ruleInstalled, !quits) << alerts.back();
    EXPECT_EQ(corvel.mac.sleepDisabled, remoteFingerRefused);
    EXPECT_EQ(corvel.settings.enabled(), pressed == 1 || typed == "wrong" || remoteFingerRefused) << alerts.back();
    EXPECT_EQ(corvel.desk.terminations, quits ? 1 : 0) << alerts.back();
    EXPECT_EQ(corvel.launch.agentCalls.back(), quits ? "unregister" : "register") << alerts.back();
    expectAlertsAsWritten(corvel.desk);
  }
}

// A restore that does not succeed leaves the Mac as it found it: remote strong stays on as stored,
// with sleep forbidden and caffeinate running, and the menu says so.
TEST(AppDelegateQuitTest, AFailedRestoreLeavesRemoteStrongOnAsStored) {
  // The menu entry, the answers, and whether the restore's lock change works. The quit switches off
  // first once the password is right, which stays done when the lock change then fails.
  const std::tuple<std::string, std::vector<std::pair<std::size_t, std::string>>, bool, bool> table[] = {
      {"通常モード", {{1, "secret"}}, true, true},
      {"通常モード", {{0, "secret"}}, false, true},
      {"設定を元に戻して終了…", {{0, ""}, {0, "wrong"}}, true, true},
      {"設定を元に戻して終了…", {{0, ""}, {0, "secret"}}, false, false},
  };
  for (const auto& [entry, answers, lockChangeWorks, staysOn] : table) {
    Rig corvel;
    corvel.remoteStrong();
    corvel.mac.screenLock = "off";
    corvel.defaults.set(keys::didDisableScreenLock, true);
    corvel.defaults.set(keys::previousScreenLockState, std::string("300"));
    launch(corvel);
    corvel.statusBar.clickButton();
    ASSERT_EQ(corvel.statusBar.title, "🟢 スリープ防止 ON");
    corvel.mac.screenLockChangeWorks = lockChangeWorks;
    for (const auto& [pressed, typed] : answers) corvel.desk.answer(pressed, typed);
    corvel.statusBar.choose(entry);
    corvel.desk.timers.at(0)();  // the next refresh shows what the Mac says
    EXPECT_EQ(std::tuple(corvel.settings.mode(), corvel.settings.enabled(), corvel.mac.sleepDisabled,
                         corvel.mac.runningChildren(), corvel.statusBar.title, corvel.desk.prompts,
                         corvel.desk.terminations, corvel.mac.screenLock),
              std::tuple(ProtectionMode::remoteStrong, staysOn, staysOn, staysOn ? 1u : 0u,
                         staysOn ? "🟢 スリープ防止 ON" : "⚫ スリープ防止 OFF", staysOn ? 1 : 2, 0, "off"))
        << "(mode, on, sleep disabled, children, title, prompts, quits, lock) after " << entry << " "
        << answers.back().second << " " << lockChangeWorks;
  }
}

// The event loop keeps turning while the Touch ID prompt is up, until the reply comes from the
// service's own thread. Clicks and menu actions handled meanwhile run nested in the wait: a second
// switch, a mode change or a restore there would be undone, or left in the wrong mode, by the switch
// finishing after it, so they do nothing.
TEST_F(AppDelegateTest, NothingNestedInTheTouchIDWaitChangesAnything) {
  remoteStrong();
  std::function<void(bool)> reply;
  desk.onPrompt = [&](std::function<void(bool)> r) { reply = std::move(r); };
  std::thread replier;
  desk.onTurn = [&] {
    if (desk.turns != 3) return;
    statusBar.clickButton();
    for (const char* title : {"ONに切り替える", "通常モード", "設定を元に戻して終了…", "OFFにして終了"})
      statusBar.choose(title);
    replier = std::thread([&] { reply(true); });
  };
  desk.delayed.at(0)();
  replier.join();
  EXPECT_TRUE(settings.enabled() && mac.sleepDisabled);
  EXPECT_EQ(settings.mode(), ProtectionMode::remoteStrong);
  EXPECT_EQ(desk.prompts, 1);
  EXPECT_EQ(desk.terminations, 0);
  EXPECT_TRUE(desk.titles.empty());
  EXPECT_EQ(std::tuple(desk.fallbackTitle, desk.cancelTitle), std::tuple("", "キャンセル"));  // no way round the finger
}

// Whatever runs nested in a switch, and however the prompt is answered, no state that belongs to one
// mode is left behind in the other.
TEST(NestedActionsTest, NoSequenceLeavesOneModesStateBehindInTheOther) {
  const Strings actions{"click",         "通常モード",    "リモート強制モード", "設定を元に戻して終了…",
                        "OFFにして終了", "ONに切り替える"};
  std::mt19937 random(2026);
  const auto pick = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
  for (int run = 0; run < 300; ++run) {
    Rig rig;
    launch(rig);
    for (int i = 0; i < 200; ++i) rig.desk.answer(pick(5) == 0 ? 1u : 0u, rig.mac.loginPassword);
    std::string trace;
    const auto act = [&](const std::string& action) {
      trace.append(action).append(" ");
      if (action == "click") return rig.statusBar.clickButton();
      rig.statusBar.choose(action);
    };
    rig.desk.onPrompt = [&](std::function<void(bool)> reply) {
      for (std::size_t nested = pick(3); nested > 0; --nested) act(actions[pick(actions.size())]);
      reply(pick(4) != 0);
    };
    for (int step = 0; step < 10; ++step) {
      act(actions[pick(actions.size())]);
      ASSERT_FALSE(rig.settings.mode() == ProtectionMode::standard && rig.mac.sleepDisabled) << trace;
      ASSERT_FALSE(!rig.settings.enabled() && (rig.mac.sleepDisabled || rig.mac.runningChildren() > 0)) << trace;
    }
  }
}

}  // namespace
}  // namespace corvel::test
