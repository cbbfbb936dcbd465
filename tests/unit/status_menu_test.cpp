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
  StatusMenu menu{rig.statusBar, rig.display, rig.protection, rig.remoteMode, rig.settings};
  Strings quits;
};

TEST_F(StatusMenuTest, ALeftClickTogglesARightClickOpensTheEntriesForItselfOnly) {
  choose("");
  // Command-Q is the quit that switches off first; no other entry has a key.
  EXPECT_EQ(rig.statusBar.shown, (Strings{"現在：OFF", "-", "ONに切り替える", "動作モード", "-",
                                          "設定を元に戻して終了…", "OFFにして終了 ⌘q"}));
  EXPECT_FALSE(entry(rig.display.views().statusLine).enabled);  // information, not a command
  // Were the menu left attached, the system would open it for the next click instead of the action.
  EXPECT_EQ(rig.statusBar.menu, nullptr);
  rig.statusBar.clickButton(ClickKind::left);
  EXPECT_TRUE(rig.settings.enabled());
  rig.statusBar.clickButton(ClickKind::other);
  EXPECT_FALSE(rig.settings.enabled());
  choose("ONに切り替える");
  EXPECT_TRUE(rig.settings.enabled());
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
                       entry(rig.display.views().remoteModeItem).checked),
            std::tuple(ProtectionMode::remoteStrong, true, 0, true));

  rig.desk.answer(1, "secret");  // the restore's password prompt cancelled
  choose("通常モード");
  EXPECT_EQ(rig.settings.mode(), ProtectionMode::remoteStrong);
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
  const struct {
    bool remote, stored, sleepDisabled, caffeinate, locked;
    std::string statusLine, toolTip, word;
    Color color;
  } rows[] = {
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
  for (const auto& row : rows) {
    rig.settings.setMode(row.remote ? ProtectionMode::remoteStrong : ProtectionMode::standard);
    rig.settings.setEnabled(row.stored);
    rig.mac.sleepDisabled = row.sleepDisabled;
    rig.mac.sessionLocked = row.locked;
    row.caffeinate ? rig.caffeinate.startCaffeinateIfNeeded() : rig.caffeinate.stopCaffeinate();
    rig.display.refreshStatus();
    const auto& [title, size] = titleAndSize.at(row.word);
    EXPECT_EQ(views.statusLine->title(), row.statusLine);
    EXPECT_EQ(rig.statusBar.title, title) << row.statusLine;
    EXPECT_EQ(rig.statusBar.toolTip, row.toolTip) << row.statusLine;
    EXPECT_EQ(views.toggleItem->title(), row.word == "OFF" ? "ONに切り替える" : "OFFに切り替える") << row.statusLine;
    EXPECT_EQ(entry(views.standardModeItem).checked, !row.remote);
    EXPECT_EQ(entry(views.remoteModeItem).checked, row.remote);
    const auto& icon = rig.desk.icons.back().steps;
    EXPECT_EQ(std::get<FillRoundedRect>(icon.at(0)).color, row.color) << row.statusLine;
    const auto& word = std::get<DrawText>(icon.at(1));
    EXPECT_EQ(word.text, row.word) << row.statusLine;
    EXPECT_EQ(word.font, (Font{size, FontWeight::heavy})) << row.word;
    EXPECT_EQ(word.x + rig.desk.measureTextWidth(word.text, word.font) / 2, 256) << row.word;  // centred
    EXPECT_EQ(word.y, 174);
    // The fake measures "CORVEL MODE" at 48 points as 264 wide.
    EXPECT_EQ(std::get<DrawText>(icon.at(2)),
              (DrawText{"CORVEL MODE", 124, 105, {48, FontWeight::bold}, Color::calibratedWhite(1.0, 0.9)}));
  }
  EXPECT_EQ(rig.desk.icons.size(), 4u);  // off, on, locked, off
}

}  // namespace
}  // namespace corvel::test
