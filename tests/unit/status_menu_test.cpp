// The status item and its menu: clicks, the entries, and choosing a mode.
#include <gtest/gtest.h>

#include "main/menubar/status_menu.h"
#include "tests/unit/fakes.h"

namespace corvel {
namespace {

using test::FakeMenu;
using test::Strings;

class StatusMenuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    menu.configureStatusItem({[this] { quits.push_back("turn off"); }, [this] { quits.push_back("restore"); }});
    rig.display.refreshStatus();
  }
  // A right click, choosing `title` in the menu it opens (nothing, when no entry has that title).
  void choose(const std::string& title) {
    rig.statusBar.clickButton(ClickKind::right, [&](FakeMenu& open) {
      opened = &open;
      shown = open.lines();
      if (auto item = open.find(title)) item->action();
    });
  }
  test::Rig rig;
  StatusMenu menu{rig.statusBar, rig.display, rig.protection, rig.remoteMode, rig.settings};
  Strings quits, shown;
  FakeMenu* opened = nullptr;
};

TEST_F(StatusMenuTest, TheMenuHoldsItsEntriesInOrder) {
  choose("");
  EXPECT_EQ(shown, (Strings{"現在：OFF", "-", "ONに切り替える", "動作モード", "  ✓通常モード", "  リモート強制モード",
                            "-", "設定を元に戻して終了…", "OFFにして終了"}));
  EXPECT_FALSE(opened->find("現在：OFF")->enabled);  // information, not a command
  EXPECT_EQ(opened->find("OFFにして終了")->key, "q");
  choose("OFFにして終了");
  choose("設定を元に戻して終了…");
  EXPECT_EQ(quits, (Strings{"turn off", "restore"}));
}

TEST_F(StatusMenuTest, ALeftClickTogglesAndARightClickAttachesTheMenuOnlyForItself) {
  rig.statusBar.clickButton(ClickKind::left);
  EXPECT_TRUE(rig.settings.enabled());
  choose("");
  EXPECT_TRUE(rig.settings.enabled());
  // Were the menu left attached, the system would open it for the next click instead of the action.
  EXPECT_EQ(rig.statusBar.item->menu, nullptr);
  rig.statusBar.clickButton(ClickKind::other);
  EXPECT_FALSE(rig.settings.enabled());
  choose("ONに切り替える");
  choose("");
  EXPECT_EQ(shown.at(0), "現在：ON（通常モード）");
}

TEST_F(StatusMenuTest, AModeIsTakenOnlyOnceTheMacIsSetUpForItOrPutBack) {
  choose("通常モード");
  EXPECT_TRUE(rig.alerts.shown.empty());  // the current mode: nothing to do
  rig.settings.setEnabled(true);
  rig.alerts.answer(1);
  choose("リモート強制モード");
  EXPECT_EQ(rig.settings.mode(), ProtectionMode::standard);
  rig.alerts.answer(0);
  rig.alerts.answer(0, "secret");
  choose("リモート強制モード");
  EXPECT_EQ(rig.settings.mode(), ProtectionMode::remoteStrong);
  EXPECT_TRUE(rig.mac.sleepDisabled);  // protection was on: the new mode is in force at once
  EXPECT_EQ(rig.biometrics.prompts, 0);
  choose("");
  EXPECT_EQ(std::vector(shown.begin() + 4, shown.begin() + 6), (Strings{"  通常モード", "  ✓リモート強制モード"}));

  rig.alerts.answer(1, "secret");  // the restore's password prompt cancelled
  choose("通常モード");
  EXPECT_EQ(rig.settings.mode(), ProtectionMode::remoteStrong);
  rig.alerts.answer(0, "secret");
  choose("通常モード");
  EXPECT_EQ(rig.settings.mode(), ProtectionMode::standard);
  EXPECT_EQ(rig.mac.screenLock, "immediate");
  EXPECT_TRUE(dynamic_cast<test::FakeMenuItem&>(*rig.display.views().standardModeItem).checked);
}

}  // namespace
}  // namespace corvel
