// The application callbacks and the two quit commands, with Corvel wired to fakes of every port.
#include <gtest/gtest.h>

#include "main/app_delegate.h"
#include "tests/unit/fakes.h"

namespace corvel {
namespace {

using test::Strings;

// Corvel on fakes of every port; the fake Mac stands behind the tools, the administrator script, the
// directory and the file questions.
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

  void launch() { delegate->applicationDidFinishLaunching(); }
  bool enabled() { return defaults.boolean(keys::protectionEnabled); }
  void chooseInMenu(const std::string& title) {
    statusBar.clickButton(ClickKind::right, [&](test::FakeMenu& menu) { menu.find(title)->action(); });
  }
};

class AppDelegateTest : public ::testing::Test, public Corvel {};

TEST_F(AppDelegateTest, ALaunchShowsTheStoredStateAndTogglesShortlyAfter) {
  launch();
  EXPECT_EQ(agents.calls, (Strings{"service app.corvel.Corvel.watchdog.plist", "status", "register"}));
  EXPECT_EQ(statusBar.item->title, "⚫ スリープ防止 OFF");
  ASSERT_EQ(application.delayed.size(), 1u);
  EXPECT_FALSE(enabled());
  application.delayed[0].second();
  EXPECT_TRUE(enabled());
  EXPECT_EQ(mac.runningChildren(), 1u);
  // The repeating refresh shows a change made outside any click.
  ASSERT_EQ(application.timers.size(), 1u);
  session.locked = true;
  application.timers[0].second();
  EXPECT_EQ(statusBar.item->title, "🟠 ON・現在ロック中");
}

TEST(AppDelegateLaunchTest, ARelaunchKeepsTheStoredStateAndShowsItAtOnce) {
  struct Row {
    const char* name;
    Strings arguments;
    std::optional<std::string> noToggle;
    bool toggles;
  };
  const Row table[] = {
      {"watchdog launch", {"Corvel", "-x", "--watchdog-launch"}, std::nullopt, false},
      {"no toggle", {"Corvel"}, "1", false},
      {"no toggle 0", {"Corvel"}, "0", true},
  };
  for (const auto& row : table) {
    Corvel corvel;
    corvel.environment.argumentList = row.arguments;
    if (row.noToggle) corvel.environment.variables["CORVEL_NO_TOGGLE"] = *row.noToggle;
    corvel.defaults.setBoolean(keys::protectionEnabled, true);
    corvel.launch();
    EXPECT_EQ(corvel.application.delayed.size(), row.toggles ? 1u : 0u) << row.name;
    EXPECT_EQ(corvel.statusBar.item->title, "🟢 スリープ防止 ON") << row.name;
  }
}

TEST_F(AppDelegateTest, TheDelayedToggleDoesNotKeepTheDelegateAlive) {
  launch();
  auto toggle = application.delayed.at(0).second;
  delegate.reset();
  toggle();
  EXPECT_FALSE(enabled());
}

TEST_F(AppDelegateTest, ADockClickTogglesAndOpensNothing) {
  launch();
  EXPECT_FALSE(delegate->applicationShouldHandleReopen(false));
  EXPECT_TRUE(enabled());
  delegate->applicationShouldHandleReopen(true);
  EXPECT_FALSE(enabled());
}

TEST_F(AppDelegateTest, QuittingIsRefusedWhileOnAndAnOrderlyQuitUnregistersTheWatchdog) {
  launch();
  delegate->applicationShouldHandleReopen(false);
  EXPECT_EQ(delegate->applicationShouldTerminate(), TerminateReply::cancel);
  EXPECT_EQ(alerts.titles(), (Strings{"スリープ防止がONです"}));
  // An exit nobody asked for (a signal, a crash of the loop) stops the child but keeps the agent,
  // so the watchdog brings Corvel back.
  agents.calls.clear();
  delegate->applicationWillTerminate();
  EXPECT_EQ(mac.runningChildren(), 0u);
  EXPECT_TRUE(agents.calls.empty());

  defaults.setBoolean(keys::protectionEnabled, false);
  EXPECT_EQ(delegate->applicationShouldTerminate(), TerminateReply::now);
  delegate->applicationWillTerminate();
  EXPECT_EQ(agents.calls.back(), "unregister");
}

TEST_F(AppDelegateTest, TurnOffAndQuit) {
  launch();
  delegate->applicationShouldHandleReopen(false);
  agents.calls.clear();
  chooseInMenu("OFFにして終了");
  EXPECT_FALSE(enabled());
  EXPECT_EQ(agents.calls.back(), "unregister");
  EXPECT_EQ(application.terminations, 1);

  // A switch refused in remote strong mode: nothing quits.
  defaults.setString(keys::protectionMode, "remoteStrong");
  defaults.setBoolean(keys::protectionEnabled, true);
  mac.ruleInstalled = true;
  biometrics.available = false;
  delegate->turnOffAndQuit();
  EXPECT_TRUE(enabled());
  EXPECT_EQ(application.terminations, 1);
}

TEST(AppDelegateQuitTest, RestoreAndQuitQuitsOnlyWhenEverythingIsPutBack) {
  const std::string confirm = "Macの設定を元に戻しますか？", reason = "画面ロック設定を元に戻します",
                    failed = "設定を完全に戻せませんでした";
  struct Row {
    const char* name;
    std::vector<std::pair<std::size_t, std::string>> answers;
    bool removalApproved;
    Strings alerts;
    std::string lockAfter;
    bool quits;
  };
  const Row table[] = {
      {"cancelled", {{1, ""}}, true, {confirm}, "off", false},
      {"everything put back", {{0, ""}, {0, "secret"}}, true, {confirm, reason}, "immediate", true},
      {"wrong password", {{0, ""}, {0, "wrong"}}, true, {confirm, reason, "設定を戻せませんでした", failed}, "off", false},
      {"rule removal refused", {{0, ""}, {0, "secret"}}, false, {confirm, reason, failed}, "immediate", false},
  };
  for (const auto& row : table) {
    Corvel corvel;
    corvel.mac.screenLock = "off";
    corvel.mac.ruleInstalled = true;
    corvel.mac.administratorApproves = row.removalApproved;
    corvel.defaults.setBoolean(keys::didDisableScreenLock, true);
    corvel.defaults.setString(keys::previousScreenLockState, "immediate");
    for (const auto& [pressed, typed] : row.answers) corvel.alerts.answer(pressed, typed);
    corvel.launch();
    corvel.chooseInMenu("設定を元に戻して終了…");
    EXPECT_EQ(corvel.alerts.titles(), row.alerts) << row.name;
    EXPECT_EQ(corvel.mac.screenLock, row.lockAfter) << row.name;
    EXPECT_EQ(corvel.mac.ruleInstalled, !row.quits) << row.name;
    EXPECT_EQ(corvel.application.terminations, row.quits ? 1 : 0) << row.name;
    EXPECT_FALSE(corvel.enabled()) << row.name;
  }
}

}  // namespace
}  // namespace corvel
