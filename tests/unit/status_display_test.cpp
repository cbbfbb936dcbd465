// What the status item, its menu and the Dock icon show, for each state of the live system.
#include <gtest/gtest.h>

#include "tests/unit/fakes.h"

namespace corvel {
namespace {

struct DisplayCase {
  const char* name;
  const char* mode;
  bool stored, sleepDisabled, caffeinate, locked;
  std::string title, toolTip, statusLine, toggle, word;
  Color color;
};

// The row's name stands for it in test listings, rather than a dump of its bytes.
void PrintTo(const DisplayCase& c, std::ostream* out) { *out << c.name; }

class StatusDisplayTest : public ::testing::TestWithParam<DisplayCase> {};

TEST_P(StatusDisplayTest, ShowsWhatTheSystemDoes) {
  const DisplayCase& c = GetParam();
  test::Rig rig;
  rig.defaults.set(keys::protectionMode, std::string(c.mode));
  rig.defaults.set(keys::protectionEnabled, c.stored);
  rig.mac.sleepDisabled = c.sleepDisabled;
  rig.session.locked = c.locked;
  if (c.caffeinate) rig.caffeinate.startCaffeinateIfNeeded();
  StatusViews& views = rig.display.views();
  views.statusItem = rig.statusBar.makeStatusItem();
  rig.display.refreshStatus();

  EXPECT_EQ(rig.statusBar.item->title, c.title);
  EXPECT_EQ(rig.statusBar.item->toolTip, c.toolTip);
  EXPECT_EQ(views.statusLine->title(), c.statusLine);
  EXPECT_EQ(views.toggleItem->title(), c.toggle);
  EXPECT_EQ(dynamic_cast<test::FakeMenuItem&>(*views.standardModeItem).checked, std::string(c.mode) == "standard");
  EXPECT_EQ(dynamic_cast<test::FakeMenuItem&>(*views.remoteModeItem).checked, std::string(c.mode) == "remoteStrong");
  ASSERT_EQ(rig.dockTile.icons.size(), 1u);
  const Drawing& icon = rig.dockTile.icons[0];
  EXPECT_EQ(std::get<FillRoundedRect>(icon.steps.at(0)).color, c.color);
  EXPECT_EQ(std::get<DrawText>(icon.steps.at(1)).text, c.word);
  // Both texts centred by the width measured with the very font they are drawn with.
  for (std::size_t step : {1u, 2u}) {
    const auto& text = std::get<DrawText>(icon.steps.at(step));
    EXPECT_DOUBLE_EQ(text.x + rig.dockTile.measureTextWidth(text.text, text.font) / 2, icon.width / 2) << text.text;
  }
}

const Color kGrey = Color::calibratedWhite(0.25, 1.0);
const std::string kOff = "⚫ スリープ防止 OFF", kToOn = "ONに切り替える", kToOff = "OFFに切り替える";
const DisplayCase kCases[] = {
    {"StandardOn", "standard", true, false, true, false, "🟢 スリープ防止 ON", "通常モード：ON",
     "現在：ON（通常モード）", kToOff, "ON", Color::systemGreen()},
    {"RemoteOn", "remoteStrong", true, true, true, false, "🟢 スリープ防止 ON", "リモート強制モード：ON",
     "現在：ON（リモート強制モード）", kToOff, "ON", Color::systemGreen()},
    {"OnAndLocked", "standard", true, false, true, true, "🟠 ON・現在ロック中",
     "防止設定はONですが、現在の画面はロックされています", "現在：防止ON・画面はロック中", kToOff, "LOCK",
     Color::systemOrange()},
    {"OffAndLockedIsPlainOff", "standard", false, false, false, true, kOff, "通常モード：OFF", "現在：OFF", kToOn,
     "OFF", kGrey},
    {"RemoteOff", "remoteStrong", false, true, false, false, kOff, "リモート強制モード：OFF",
     "現在：OFF（ロック防止は常時ON）", kToOn, "OFF", kGrey},
    {"RemoteStoredOnButSleepAllowed", "remoteStrong", true, false, true, false, kOff, "リモート強制モード：OFF",
     "現在：OFF（ロック防止は常時ON）", kToOn, "OFF", kGrey},
    {"StoredOnButCaffeinateGone", "standard", true, false, false, false, kOff, "通常モード：OFF", "現在：OFF", kToOn,
     "OFF", kGrey},
    {"RunningButStoredOff", "standard", false, false, true, false, kOff, "通常モード：OFF", "現在：OFF", kToOn, "OFF",
     kGrey},
};
INSTANTIATE_TEST_SUITE_P(States, StatusDisplayTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(StatusDisplayIconTest, AnUnchangedIconIsNotSentAgain) {
  test::Rig rig;
  rig.display.refreshStatus();
  rig.display.refreshStatus();
  rig.settings.setEnabled(true);
  rig.caffeinate.startCaffeinateIfNeeded();
  rig.display.refreshStatus();
  rig.session.locked = true;
  rig.display.refreshStatus();
  ASSERT_EQ(rig.dockTile.icons.size(), 3u);
  EXPECT_EQ(std::get<DrawText>(rig.dockTile.icons[2].steps.at(1)).text, "LOCK");
}

}  // namespace
}  // namespace corvel
