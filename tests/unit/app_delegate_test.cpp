// The application callbacks and the two quit commands, with Corvel wired to fakes of every port.
#include <gtest/gtest.h>
#include <tuple>

#include "main/app_delegate.h"
#include "tests/unit/fakes.h"

namespace corvel {
namespace {

using test::Strings;

// The fake Mac stands behind the tools, the administrator script, the directory and the file system.
struct Corvel {
  test::FakeStore defaults;
  test::FakeApplication application;
  test::FakeMac mac;
  test::FakeClock clock;
  test::FakeEnvironment environment;
  test::FakeStatusBar statusBar;
  test::FakeSession session;
  test::FakeAlerts alerts;
  test::FakeBiometrics biometrics;
  test::FakeDockTile dockTile;
  test::FakeAgentServices agents;
  Platform platform{defaults, application, mac,        clock, environment, mac,    statusBar,     mac,
                    session,  alerts,      biometrics, mac,   dockTile,    agents, macToolPaths()};
  std::shared_ptr<AppDelegate> delegate = std::make_shared<AppDelegate>(platform);

  bool enabled() { return defaults.boolean(keys::protectionEnabled); }
  void chooseInMenu(const std::string& title) {
    statusBar.clickButton(ClickKind::right, [&](test::FakeMenu& menu) { menu.find(title)->action(); });
  }
};

class AppDelegateTest : public ::testing::Test, public Corvel {
 protected:
  void SetUp() override { delegate->applicationDidFinishLaunching(); }
};

TEST_F(AppDelegateTest, ALaunchRegistersShowsTheStateTogglesShortlyAfterAndRefreshesFromThenOn) {
  EXPECT_EQ(agents.calls, (Strings{"app.corvel.Corvel.watchdog.plist", "register"}));
  EXPECT_EQ(statusBar.item->title, "⚫ スリープ防止 OFF");
  ASSERT_EQ(application.delayed.size(), 1u);
  EXPECT_FALSE(enabled());
  application.delayed[0]();
  EXPECT_TRUE(enabled());
  EXPECT_EQ(mac.runningChildren(), 1u);
  ASSERT_EQ(application.timers.size(), 1u);
  session.locked = true;  // a change no click made
  application.timers[0]();
  EXPECT_EQ(statusBar.item->title, "🟠 ON・現在ロック中");
}

TEST(AppDelegateLaunchTest, ARelaunchKeepsTheStoredStateAndShowsItAtOnce) {
  const std::tuple<Strings, std::optional<std::string>, bool> table[] = {
      {{"Corvel", "-x", "--watchdog-launch"}, std::nullopt, false}, {{"Corvel"}, "1", false}, {{"Corvel"}, "0", true}};
  for (const auto& [arguments, noToggle, toggles] : table) {
    Corvel corvel;
    corvel.environment.argumentList = arguments;
    if (noToggle) corvel.environment.variables["CORVEL_NO_TOGGLE"] = *noToggle;
    corvel.defaults.set(keys::protectionEnabled, true);
    corvel.delegate->applicationDidFinishLaunching();
    EXPECT_EQ(corvel.application.delayed.size(), toggles ? 1u : 0u) << arguments.back();
    EXPECT_EQ(corvel.statusBar.item->title, "🟢 スリープ防止 ON");
  }
}

TEST_F(AppDelegateTest, TheDelayedToggleDoesNotKeepTheDelegateAlive) {
  auto toggle = application.delayed.at(0);
  delegate.reset();
  toggle();
  EXPECT_FALSE(enabled());
}

TEST_F(AppDelegateTest, ADockClickTogglesAndTheQuitGuardRefusesWhileOn) {
  EXPECT_FALSE(delegate->applicationShouldHandleReopen(false));  // nothing to open
  EXPECT_TRUE(enabled());
  EXPECT_EQ(delegate->applicationShouldTerminate(), TerminateReply::cancel);
  EXPECT_EQ(alerts.titles(), (Strings{"スリープ防止がONです"}));
  // An exit nobody asked for stops the child but keeps the agent, so the watchdog brings Corvel back.
  delegate->applicationWillTerminate();
  EXPECT_EQ(mac.runningChildren(), 0u);
  EXPECT_EQ(agents.calls.back(), "register");
  delegate->applicationShouldHandleReopen(true);
  EXPECT_FALSE(enabled());
  EXPECT_EQ(delegate->applicationShouldTerminate(), TerminateReply::now);
  delegate->applicationWillTerminate();
  EXPECT_EQ(agents.calls.back(), "unregister");
}

TEST_F(AppDelegateTest, TurnOffAndQuitQuitsOnlyOnceSwitchedOff) {
  defaults.set(keys::protectionMode, std::string("remoteStrong"));
  defaults.set(keys::protectionEnabled, true);
  mac.ruleInstalled = mac.sleepDisabled = true;
  biometrics.available = false;
  chooseInMenu("OFFにして終了");
  EXPECT_TRUE(enabled());
  EXPECT_EQ(application.terminations, 0);
  biometrics.available = true;
  chooseInMenu("OFFにして終了");
  EXPECT_FALSE(enabled() || mac.sleepDisabled);
  EXPECT_EQ(agents.calls.back(), "unregister");
  EXPECT_EQ(application.terminations, 1);
}

TEST(AppDelegateQuitTest, RestoreAndQuitQuitsOnlyWhenEverythingIsPutBack) {
  const std::string confirm = "Macの設定を元に戻しますか？", reason = "画面ロック設定を元に戻します",
                    failed = "設定を完全に戻せませんでした";
  struct Row {
    std::vector<std::pair<std::size_t, std::string>> answers;
    bool removalApproved;
    Strings alerts;
    std::string lockAfter;
    bool quits;
  };
  const Row table[] = {
      {{{1, ""}}, true, {confirm}, "off", false},
      {{{0, ""}, {0, "secret"}}, true, {confirm, reason}, "immediate", true},
      {{{0, ""}, {0, "wrong"}}, true, {confirm, reason, "設定を戻せませんでした", failed}, "off", false},
      {{{0, ""}, {0, "secret"}}, false, {confirm, reason, failed}, "immediate", false},
  };
  for (const auto& row : table) {
    Corvel corvel;
    corvel.mac.screenLock = "off";
    corvel.mac.ruleInstalled = true;
    corvel.mac.administratorApproves = row.removalApproved;
    corvel.defaults.set(keys::didDisableScreenLock, true);
    corvel.defaults.set(keys::protectionEnabled, true);
    for (const auto& [pressed, typed] : row.answers) corvel.alerts.answer(pressed, typed);
    corvel.delegate->applicationDidFinishLaunching();
    corvel.chooseInMenu("設定を元に戻して終了…");
    EXPECT_EQ(corvel.alerts.titles(), row.alerts);
    EXPECT_EQ(corvel.mac.screenLock, row.lockAfter);
    EXPECT_EQ(corvel.mac.ruleInstalled, !row.quits);
    EXPECT_EQ(corvel.application.terminations, row.quits ? 1 : 0);
    EXPECT_EQ(corvel.agents.calls.back(), row.quits ? "unregister" : "register");
    EXPECT_EQ(corvel.enabled(), row.answers.size() == 1);  // switched off first unless cancelled
  }
}

}  // namespace
}  // namespace corvel
