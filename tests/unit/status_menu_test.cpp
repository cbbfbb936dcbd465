// The status item, its menu and the Dock icon: what they show for each state of the live system, the
// clicks, the entries, and choosing a mode.
#include "tests/unit/fakes.h"

namespace corvel::test {
namespace {

struct StatusMenuTest : ::testing::Test {
  void SetUp() override {
    menu.configureStatusItem({[this] { quits.push_back("turn off"); }, [this] { quits.push_back("restore"); }});
    rig.display.refreshStatus();
  }
  void choose(const std::string& title) { rig.statusBar.choose(title); }
  static FakeMenu& entry(const std::shared_ptr<MenuItem>& item) { return dynamic_cast<FakeMenu&>(*item); }
  Rig rig;
  StatusMenu menu{rig.statusBar, rig.display, rig.protection};
  Strings quits;
};

TEST_F(StatusMenuTest, ALeftClickTogglesARightClickOpensTheEntriesForItselfOnly) {
  choose("");
  // Command-Q is the quit that switches off first; no other entry has a key.
  EXPECT_EQ(rig.statusBar.shown, (Strings{"現在：OFF", "-", "ONに切り替える", "動作モード", "-",
                                          "設定を元に戻して終了…", "OFFにして終了 ⌘q"}));
  EXPECT_FALSE(entry(rig.display.views().statusLine).enabled);  // information, not a command
  rig.statusBar.clickButton();
  EXPECT_TRUE(rig.settings.enabled());
  choose("OFFに切り替える");
  EXPECT_FALSE(rig.settings.enabled());
  choose("OFFにして終了");
  choose("設定を元に戻して終了…");
  EXPECT_EQ(quits, (Strings{"turn off", "restore"}));
}

TEST_F(StatusMenuTest, AModeIsTakenOnlyOnceTheMacIsSetUpForItOrPutBack) {
  choose("通常モード");
  EXPECT_TRUE(rig.desk.titles.empty());  // the current mode: nothing to do
  rig.settings.setEnabled(true);
  rig.desk.answer(1);
  choose("リモート強制モード");
  EXPECT_EQ(rig.settings.mode(), ProtectionMode::standard);
  rig.desk.answer(0);
  rig.desk.answer(0, "secret");
  choose("リモート強制モード");
  // Protection was on: the new mode is in force at once, without asking.
  EXPECT_EQ(std::tuple(rig.settings.mode(), rig.mac.sleepDisabled, rig.desk.prompts,
                       entry(rig.display.views().modeItems.at(1)).checked),
            std::tuple(ProtectionMode::remoteStrong, true, 0, true))
      << "(mode, sleep disabled, prompts, entry checked)";

  rig.desk.answer(0, "secret");
  rig.mac.children.back()->running = false;  // the new mode brings the stored state back in force
  choose("通常モード");
  EXPECT_EQ(rig.settings.mode(), ProtectionMode::standard);
  EXPECT_EQ(rig.mac.screenLock, "immediate");
  EXPECT_FALSE(rig.mac.sleepDisabled);
  EXPECT_TRUE(rig.caffeinate.isCaffeinateRunning());
}

// The display follows the live system, not the stored state alone; the Dock gets a new icon only when
// it changes, since the system redraws the tile for every one.
TEST_F(StatusMenuTest, ShowsWhatTheSystemDoes) {
  const Color green = Color::systemGreen(), grey = Color::calibratedWhite(0.25, 1.0);
  const std::string locked = "防止設定はONですが、現在の画面はロックされています";
  // The mode (remote strong or not), stored on, sleep disabled, caffeinate running, the session locked; what
  // the status line, the tool tip and the Dock tile's word say, and the tile's colour.
  const std::tuple<bool, bool, bool, bool, bool, std::string, std::string, std::string, Color> rows[] = {
      {false, true, false, true, false, "現在：ON（通常モード）", "通常モード：ON", "ON", green},
      {true, true, true, true, false, "現在：ON（リモート強制モード）", "リモート強制モード：ON", "ON", green},
      {false, true, false, true, true, "現在：防止ON・画面はロック中", locked, "LOCK", Color::systemOrange()},
      {false, false, false, false, true, "現在：OFF", "通常モード：OFF", "OFF", grey},  // locked but off: plain off
      {true, false, true, false, false, "現在：OFF（ロック防止は常時ON）", "リモート強制モード：OFF", "OFF", grey},
      // Sleep allowed, or caffeinate gone, in either mode; or caffeinate running but stored off.
      {true, true, false, true, false, "現在：OFF（ロック防止は常時ON）", "リモート強制モード：OFF", "OFF", grey},
      {true, true, true, false, false, "現在：OFF（ロック防止は常時ON）", "リモート強制モード：OFF", "OFF", grey},
      {false, true, false, false, false, "現在：OFF", "通常モード：OFF", "OFF", grey},
      {false, false, false, true, false, "現在：OFF", "通常モード：OFF", "OFF", grey},
  };
  const std::map<std::string, std::pair<std::string, double>> titleAndSize{
      {"ON", {"🟢 スリープ防止 ON", 180}},
      {"LOCK", {"🟠 ON・現在ロック中", 115}},
      {"OFF", {"⚫ スリープ防止 OFF", 145}}};
  StatusViews& views = rig.display.views();
  for (const auto& [remote, stored, sleepDisabled, caffeinate, locked, statusLine, toolTip, tileWord, color] : rows) {
    rig.settings.setMode(remote ? ProtectionMode::remoteStrong : ProtectionMode::standard);
    rig.settings.setEnabled(stored);
    rig.mac.sleepDisabled = sleepDisabled;
    rig.mac.sessionLocked = locked;
    caffeinate ? rig.caffeinate.startCaffeinateIfNeeded() : rig.caffeinate.stopCaffeinate();
    rig.display.refreshStatus();
    const auto& [title, size] = titleAndSize.at(tileWord);
    EXPECT_EQ(views.statusLine->title(), statusLine);
    EXPECT_EQ(rig.statusBar.title, title) << statusLine;
    EXPECT_EQ(rig.statusBar.toolTip, toolTip) << statusLine;
    EXPECT_EQ(views.toggleItem->title(), tileWord == "OFF" ? "ONに切り替える" : "OFFに切り替える") << statusLine;
    EXPECT_EQ(entry(views.modeItems.at(0)).checked, !remote);
    EXPECT_EQ(entry(views.modeItems.at(1)).checked, remote);
    const auto& icon = rig.desk.icons.back().steps;
    EXPECT_EQ(std::get<FillRoundedRect>(icon.at(0)).color, color) << statusLine;
    const Font font{size, FontWeight::heavy};  // and the word centred
    EXPECT_EQ(std::get<DrawText>(icon.at(1)), (DrawText{tileWord, 256 - rig.desk.measureTextWidth(tileWord, font) / 2,
                                                        174, font, Color::calibratedWhite(1.0, 1.0)}));
    // The fake measures "CORVEL MODE" at 48 points as 264 wide.
    EXPECT_EQ(std::get<DrawText>(icon.at(2)),
              (DrawText{"CORVEL MODE", 124, 105, {48, FontWeight::bold}, Color::calibratedWhite(1.0, 0.9)}));
  }
  EXPECT_EQ(rig.desk.icons.size(), 4u);  // off, on, locked, off
}

}  // namespace
}  // namespace corvel::test
