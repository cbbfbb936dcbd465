// The status item, its menu, the status display, the Dock icon, launch, quitting and the watchdog
// registration, through the delegate over fakes of the ports.
#include <gtest/gtest.h>

#include "main/app_delegate.h"
#include "main/menubar/status_display.h"
#include "tests/support/fake_mac.h"

namespace corvel {
namespace {

using sim::SimMenu;
using sim::SimMenuItem;
using Strings = std::vector<std::string>;

class MenuBarTest : public test::DelegateTest {
 public:
  void launch() { delegate->applicationDidFinishLaunching(); }
  const sim::SimStatusItem& item() { return *fake.statusBar.statusItem(); }
  // Every entry of the menu, depth first, as "title|selector|key|enabled|state", "-" for separators.
  Strings describeMenu(const SimMenu& menu, const std::string& indent = "") {
    Strings out;
    for (const auto& entry : menu.entries()) {
      if (!entry.item) {
        out.push_back(indent + "-");
        continue;
      }
      const auto& i = *entry.item;
      out.push_back(indent + i.title() + "|" + i.selector() + "|" + i.keyEquivalent() + "|" +
                    (i.isEnabled() ? "on" : "off") + "|" + std::to_string(i.state()));
      if (i.submenu()) {
        for (auto& line : describeMenu(*i.submenu(), indent + "  ")) out.push_back(line);
      }
    }
    return out;
  }
  std::shared_ptr<SimMenuItem> find(const SimMenu& menu, const std::string& title) {
    for (const auto& entry : menu.entries()) {
      if (!entry.item) continue;
      if (entry.item->title() == title) return entry.item;
      if (entry.item->submenu()) {
        if (auto found = find(*entry.item->submenu(), title)) return found;
      }
    }
    return nullptr;
  }
  void rightClickChoosing(const std::string& title) {
    fake.statusBar.statusItem()->onMenuTracking = [this, title](SimMenu& menu) {
      lastMenu = describeMenu(menu);
      if (auto chosen = find(menu, title)) chosen->choose();
    };
    fake.statusBar.setCurrentEvent(EventType::rightMouseUp);
    fake.statusBar.statusItem()->click();
    fake.statusBar.setCurrentEvent(std::nullopt);
  }
  void leftClick() {
    fake.statusBar.setCurrentEvent(EventType::leftMouseUp);
    fake.statusBar.statusItem()->click();
    fake.statusBar.setCurrentEvent(std::nullopt);
  }
  Strings lastMenu;
};

TEST_F(MenuBarTest, TheMenuHoldsItsSevenEntriesInOrder) {
  launch();
  EXPECT_EQ(fake.statusBar.statusItemLength(), -1.0);
  EXPECT_EQ(item().sendOnMask(), 20u);
  EXPECT_FALSE(item().menu());  // never attached outside a right click
  rightClickChoosing("");
  EXPECT_EQ(lastMenu, (Strings{
                          "現在：OFF|||off|0",
                          "-",
                          "ONに切り替える|toggleFromMenu||on|0",
                          "動作モード|||on|0",
                          "  通常モード|selectStandardMode||on|1",
                          "  リモート強制モード|selectRemoteMode||on|0",
                          "-",
                          "設定を元に戻して終了…|restoreAndQuit||on|0",
                          "OFFにして終了|turnOffAndQuit|q|on|0",
                      }));
  EXPECT_FALSE(item().menu());
}

TEST_F(MenuBarTest, LeftClicksToggleAndARightClickNeverLeavesTheMenuAttached) {
  launch();
  leftClick();
  EXPECT_TRUE(delegate->enabled());
  rightClickChoosing("");  // opened and closed without a choice
  EXPECT_TRUE(delegate->enabled());
  leftClick();
  EXPECT_FALSE(delegate->enabled());
  fake.statusBar.setCurrentEvent(std::nullopt);  // no current event: counts as a left click
  fake.statusBar.statusItem()->click();
  EXPECT_TRUE(delegate->enabled());
  rightClickChoosing("OFFに切り替える");
  EXPECT_FALSE(delegate->enabled());
}

TEST_F(MenuBarTest, ChoosingTheCurrentModeDoesNothing) {
  launch();
  rightClickChoosing("通常モード");
  EXPECT_TRUE(fake.alerts.shown.empty());
  EXPECT_EQ(fake.defaults.string(keys::protectionMode), std::nullopt);
}

TEST_F(MenuBarTest, ChoosingRemoteModeRunsTheSetUpAndCancellingKeepsStandard) {
  launch();
  fake.alerts.answers.push_back({1001, ""});
  rightClickChoosing("リモート強制モード");
  EXPECT_EQ(delegate->mode(), ProtectionMode::standard);
  EXPECT_EQ(fake.alerts.titles(), (Strings{"リモート強制モードを設定します"}));

  fake.alerts.answers.push_back({1000, ""});
  fake.alerts.answers.push_back({1000, "secret"});
  rightClickChoosing("リモート強制モード");
  EXPECT_EQ(delegate->mode(), ProtectionMode::remoteStrong);
  EXPECT_EQ(mac.screenLock, "off");
  rightClickChoosing("");
  EXPECT_EQ(lastMenu[4], "  通常モード|selectStandardMode||on|0");
  EXPECT_EQ(lastMenu[5], "  リモート強制モード|selectRemoteMode||on|1");
  EXPECT_EQ(lastMenu[0], "現在：OFF（ロック防止は常時ON）|||off|0");
  EXPECT_EQ(fake.biometrics.prompts, 0);  // choosing a mode never asks for Touch ID
}

TEST_F(MenuBarTest, LeavingRemoteModeNeedsTheRestore) {
  store(keys::protectionMode, std::string("remoteStrong"));
  store(keys::didDisableScreenLock, true);
  store(keys::previousScreenLockState, std::string("300"));
  mac.screenLock = "off";
  mac.ruleInstalled = true;
  start();
  launch();
  fake.alerts.answers.push_back({1001, "secret"});  // password prompt cancelled
  rightClickChoosing("通常モード");
  EXPECT_EQ(delegate->mode(), ProtectionMode::remoteStrong);
  fake.alerts.answers.push_back({1000, "secret"});
  rightClickChoosing("通常モード");
  EXPECT_EQ(delegate->mode(), ProtectionMode::standard);
  EXPECT_EQ(mac.screenLock, "300");
}

struct DisplayRow {
  const char* name;
  const char* mode;
  bool stored;
  bool sleepDisabled;
  bool caffeinate;
  bool locked;
  Strings texts;  // title, tooltip, line, toggle
  Color color;
  std::string word;
};

TEST_F(MenuBarTest, TheStatusDisplayTable) {
  const Color grey = Color::calibratedWhite(0.25, 1.0);
  const DisplayRow table[] = {
      {"standard on", "standard", true, false, true, false,
       {"🟢 スリープ防止 ON", "通常モード：ON", "現在：ON（通常モード）", "OFFに切り替える"}, Color::systemGreen(), "ON"},
      {"remote on", "remoteStrong", true, true, true, false,
       {"🟢 スリープ防止 ON", "リモート強制モード：ON", "現在：ON（リモート強制モード）", "OFFに切り替える"},
       Color::systemGreen(), "ON"},
      {"on and locked", "standard", true, false, true, true,
       {"🟠 ON・現在ロック中", "防止設定はONですが、現在の画面はロックされています", "現在：防止ON・画面はロック中",
        "OFFに切り替える"},
       Color::systemOrange(), "LOCK"},
      {"off and locked shows plain off", "standard", false, false, false, true,
       {"⚫ スリープ防止 OFF", "通常モード：OFF", "現在：OFF", "ONに切り替える"}, grey, "OFF"},
      {"remote off", "remoteStrong", false, false, false, false,
       {"⚫ スリープ防止 OFF", "リモート強制モード：OFF", "現在：OFF（ロック防止は常時ON）", "ONに切り替える"}, grey,
       "OFF"},
      {"remote stored on but sleep allowed", "remoteStrong", true, false, true, false,
       {"⚫ スリープ防止 OFF", "リモート強制モード：OFF", "現在：OFF（ロック防止は常時ON）", "ONに切り替える"}, grey,
       "OFF"},
      {"stored on but caffeinate ended", "standard", true, false, false, false,
       {"⚫ スリープ防止 OFF", "通常モード：OFF", "現在：OFF", "ONに切り替える"}, grey, "OFF"},
  };
  for (const auto& row : table) {
    reset();
    mac.sleepDisabled = row.sleepDisabled;
    store(keys::protectionMode, std::string(row.mode));
    store(keys::protectionEnabled, row.stored);
    fake.session.flag = row.locked;
    start();
    delegate->configureStatusItem();
    delegate->applyStoredState();
    mac.sleepDisabled = row.sleepDisabled;  // applying may have set it; the row says what the system shows
    if (!row.caffeinate) {
      for (auto& child : fake.processes.children) child->running = false;
    }
    delegate->refreshStatus();
    rightClickChoosing("");
    EXPECT_EQ(item().title(), row.texts[0]) << row.name;
    EXPECT_EQ(item().toolTip(), row.texts[1]) << row.name;
    EXPECT_EQ(lastMenu[0], row.texts[2] + "|||off|0") << row.name;
    EXPECT_EQ(lastMenu[2], row.texts[3] + "|toggleFromMenu||on|0") << row.name;
    ASSERT_FALSE(fake.dockTile.icons.empty());
    const Drawing& icon = fake.dockTile.icons.back();
    EXPECT_EQ(std::get<FillRoundedRect>(icon.steps[0]).color, row.color) << row.name;
    EXPECT_EQ(std::get<DrawText>(icon.steps[1]).text, row.word) << row.name;
  }
}

TEST_F(MenuBarTest, DockIconGeometry) {
  struct Row {
    bool enabled, locked;
    const char* word;
    double size;
  };
  for (const Row& row : {Row{true, true, "LOCK", 115}, Row{true, false, "ON", 180}, Row{false, true, "OFF", 145},
                         Row{false, false, "OFF", 145}}) {
    const Drawing icon = delegate->makeDockIcon(row.enabled, row.locked);
    EXPECT_EQ(icon.width, 512);
    EXPECT_EQ(icon.height, 512);
    ASSERT_EQ(icon.steps.size(), 3u);
    EXPECT_EQ(std::get<FillRoundedRect>(icon.steps[0]), (FillRoundedRect{26, 26, 460, 460, 105, 105,
                                                                          std::get<FillRoundedRect>(icon.steps[0]).color}));
    const auto& word = std::get<DrawText>(icon.steps[1]);
    EXPECT_EQ(word.text, row.word);
    EXPECT_EQ(word.font, (Font{row.size, FontWeight::heavy}));
    EXPECT_EQ(word.y, 174);
    EXPECT_EQ(word.color, Color::calibratedWhite(1.0, 1.0));
    // Centred by the measured width: its middle is at x = 256.
    EXPECT_DOUBLE_EQ(word.x + fake.dockTile.measureTextWidth(word.text, word.font) / 2, 256);
    const auto& caption = std::get<DrawText>(icon.steps[2]);
    EXPECT_EQ(caption.text, "CORVEL MODE");
    EXPECT_EQ(caption.font, (Font{48, FontWeight::bold}));
    EXPECT_EQ(caption.y, 105);
    EXPECT_EQ(caption.color, Color::calibratedWhite(1.0, 0.9));
    EXPECT_DOUBLE_EQ(caption.x + fake.dockTile.measureTextWidth(caption.text, caption.font) / 2, 256);
  }
}

// ---- Launch and reopen ----

TEST_F(MenuBarTest, OrdinaryLaunchBuildsRegistersAppliesRefreshesAndTogglesLater) {
  launch();
  EXPECT_TRUE(fake.statusBar.statusItem());
  EXPECT_EQ(fake.agents.calls, (Strings{"service app.corvel.Corvel.watchdog.plist", "status", "register"}));
  EXPECT_EQ(item().title(), "⚫ スリープ防止 OFF");
  ASSERT_EQ(fake.application.timers.size(), 1u);
  EXPECT_EQ(fake.application.timers[0].first, 2.0);
  ASSERT_EQ(fake.application.delayed.size(), 1u);
  EXPECT_EQ(fake.application.delayed[0].first, 0.2);
  EXPECT_FALSE(delegate->enabled());
  fake.application.delayed[0].second();
  EXPECT_TRUE(delegate->enabled());
  const int before = static_cast<int>(fake.dockTile.icons.size());
  fake.application.timers[0].second();  // the refresh timer only redraws
  EXPECT_EQ(static_cast<int>(fake.dockTile.icons.size()), before + 1);
}

TEST_F(MenuBarTest, WhatSuppressesTheAutomaticToggle) {
  struct Row {
    const char* name;
    Strings arguments;
    std::optional<std::string> noToggle;
    bool toggles;
  };
  const Row table[] = {
      {"ordinary", {"Corvel"}, std::nullopt, true},
      {"watchdog launch", {"Corvel", "--watchdog-launch"}, std::nullopt, false},
      {"watchdog launch among others", {"Corvel", "-x", "--watchdog-launch"}, std::nullopt, false},
      {"no toggle", {"Corvel"}, "1", false},
      {"no toggle 0", {"Corvel"}, "0", true},
      {"no toggle true", {"Corvel"}, "true", true},
      {"no toggle empty", {"Corvel"}, "", true},
      {"argument case differs", {"Corvel", "--Watchdog-Launch"}, std::nullopt, true},
  };
  for (const auto& row : table) {
    reset();
    fake.environment.argumentsList = row.arguments;
    if (row.noToggle) fake.environment.variables["CORVEL_NO_TOGGLE"] = *row.noToggle;
    start();
    launch();
    EXPECT_EQ(fake.application.delayed.size(), row.toggles ? 1u : 0u) << row.name;
  }
}

TEST_F(MenuBarTest, WatchdogLaunchReestablishesTheStoredStateWithoutAsking) {
  store(keys::protectionMode, std::string("remoteStrong"));
  store(keys::protectionEnabled, true);
  fake.environment.argumentsList = {"Corvel", "--watchdog-launch"};
  start();  // no rule installed: only caffeinate comes back
  launch();
  EXPECT_TRUE(delegate->isCaffeinateRunning());
  EXPECT_FALSE(mac.sleepDisabled);
  EXPECT_TRUE(fake.alerts.shown.empty());
  EXPECT_EQ(fake.biometrics.prompts, 0);
  EXPECT_TRUE(fake.application.delayed.empty());
}

TEST_F(MenuBarTest, TheDelayedToggleHoldsTheDelegateWeakly) {
  launch();
  auto task = fake.application.delayed.at(0).second;
  delegate.reset();
  task();  // must do nothing, and not crash
  EXPECT_FALSE(fake.defaults.boolean(keys::protectionEnabled));
}

TEST_F(MenuBarTest, DockClickTogglesAndOpensNothing) {
  launch();
  EXPECT_FALSE(delegate->applicationShouldHandleReopen(false));
  EXPECT_TRUE(delegate->enabled());
  EXPECT_FALSE(delegate->applicationShouldHandleReopen(true));
  EXPECT_FALSE(delegate->enabled());
}

TEST_F(MenuBarTest, RegistrationRespectsStatusAndTheSkipSwitch) {
  fake.agents.status = AgentStatus::enabled;
  delegate->registerWatchdogIfNeeded();
  EXPECT_EQ(fake.agents.calls, (Strings{"service app.corvel.Corvel.watchdog.plist", "status"}));
  for (AgentStatus status : {AgentStatus::notRegistered, AgentStatus::requiresApproval, AgentStatus::notFound}) {
    fake.agents.calls.clear();
    fake.agents.status = status;
    fake.agents.registrationWorks = false;
    delegate->registerWatchdogIfNeeded();
    EXPECT_EQ(fake.agents.calls.back(), "register");
  }
  fake.agents.calls.clear();
  delegate->unregisterWatchdog();  // not enabled: nothing
  EXPECT_EQ(fake.agents.calls, (Strings{"service app.corvel.Corvel.watchdog.plist", "status"}));
  fake.environment.variables["CORVEL_SKIP_SERVICE"] = "1";
  fake.agents.calls.clear();
  delegate->registerWatchdogIfNeeded();
  delegate->unregisterWatchdog();
  EXPECT_TRUE(fake.agents.calls.empty());  // not even the status is asked
}

// ---- Quitting ----

TEST_F(MenuBarTest, QuitWhileOnIsRefused) {
  launch();
  delegate->setProtection(true);
  EXPECT_EQ(delegate->applicationShouldTerminate(), TerminateReply::cancel);
  EXPECT_EQ(fake.alerts.titles(), (Strings{"スリープ防止がONです"}));
  EXPECT_EQ(fake.alerts.shown[0].informativeText, "先にアイコンをクリックしてOFFにしてください。");
  EXPECT_TRUE(fake.alerts.shown[0].buttons.empty());
  EXPECT_FALSE(delegate->isTerminationIntentional());
  EXPECT_TRUE(delegate->isCaffeinateRunning());
}

TEST_F(MenuBarTest, QuitWhileOffUnregistersAtExit) {
  launch();
  EXPECT_EQ(delegate->applicationShouldTerminate(), TerminateReply::now);
  EXPECT_TRUE(delegate->isTerminationIntentional());
  fake.agents.calls.clear();
  delegate->applicationWillTerminate();
  EXPECT_EQ(fake.agents.calls.back(), "unregister");
}

TEST_F(MenuBarTest, AnUnintendedExitStopsCaffeinateButKeepsTheAgent) {
  launch();
  delegate->setProtection(true);
  fake.agents.calls.clear();
  delegate->applicationWillTerminate();
  EXPECT_FALSE(delegate->isCaffeinateRunning());
  EXPECT_TRUE(fake.agents.calls.empty());
}

TEST_F(MenuBarTest, TurnOffAndQuit) {
  launch();
  delegate->setProtection(true);
  fake.agents.calls.clear();
  rightClickChoosing("OFFにして終了");
  EXPECT_FALSE(delegate->enabled());
  EXPECT_TRUE(delegate->isTerminationIntentional());
  EXPECT_EQ(fake.agents.calls.back(), "unregister");
  EXPECT_EQ(fake.application.terminateRequests, 1);
}

TEST_F(MenuBarTest, TurnOffAndQuitStaysWhenTheSwitchIsRefused) {
  store(keys::protectionMode, std::string("remoteStrong"));
  mac.ruleInstalled = true;
  start();
  launch();
  delegate->setProtection(true);
  fake.biometrics.onPrompt = [](std::function<void(bool)> reply) { reply(false); };
  fake.alerts.shown.clear();
  delegate->turnOffAndQuit();
  EXPECT_TRUE(delegate->enabled());
  EXPECT_EQ(fake.application.terminateRequests, 0);
  EXPECT_EQ(fake.alerts.titles(), (Strings{"Touch IDで認証できませんでした"}));
}

TEST_F(MenuBarTest, RestoreAndQuitChain) {
  struct Row {
    const char* name;
    std::function<void(MenuBarTest&)> arrange;
    bool quits;
    Strings alerts;
    bool ruleAfter;
  };
  const std::string confirm = "Macの設定を元に戻しますか？";
  const std::string failed = "設定を完全に戻せませんでした";
  const Row table[] = {
      {"cancelled", [](MenuBarTest& t) { t.fake.alerts.answers.push_back({1001, ""}); }, false, {confirm}, true},
      {"everything restored",
       [](MenuBarTest& t) {
         t.fake.alerts.answers.push_back({1000, ""});
         t.fake.alerts.answers.push_back({1000, "secret"});
       },
       true, {confirm, "画面ロック設定を元に戻します"}, false},
      {"restore fails",
       [](MenuBarTest& t) {
         t.fake.alerts.answers.push_back({1000, ""});
         t.fake.alerts.answers.push_back({1000, "wrong"});
       },
       false, {confirm, "画面ロック設定を元に戻します", "設定を戻せませんでした", failed}, true},
      {"rule removal refused",
       [](MenuBarTest& t) {
         t.fake.alerts.answers.push_back({1000, ""});
         t.fake.alerts.answers.push_back({1000, "secret"});
         t.fake.administratorScript.respond = [](const std::string&) { return false; };
       },
       false, {confirm, "画面ロック設定を元に戻します", failed}, true},
  };
  for (const auto& row : table) {
    reset();
    mac.screenLock = "off";
    mac.ruleInstalled = true;
    store(keys::didDisableScreenLock, true);
    store(keys::previousScreenLockState, std::string("immediate"));
    start();
    launch();
    row.arrange(*this);
    rightClickChoosing("設定を元に戻して終了…");
    EXPECT_EQ(fake.application.terminateRequests, row.quits ? 1 : 0) << row.name;
    EXPECT_EQ(delegate->isTerminationIntentional(), row.quits) << row.name;
    EXPECT_EQ(fake.alerts.titles(), row.alerts) << row.name;
    EXPECT_EQ(mac.ruleInstalled, row.ruleAfter) << row.name;
    EXPECT_FALSE(delegate->enabled()) << row.name;
    const AlertRequest& first = fake.alerts.shown.at(0);
    EXPECT_EQ(first.buttons, (Strings{"元に戻して終了", "キャンセル"})) << row.name;
  }
}

}  // namespace
}  // namespace corvel
