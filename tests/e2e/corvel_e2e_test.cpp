// Corvel end to end: the built program on a simulated Mac of its own, driven through its terminal
// protocol as a person would. One Corvel serves each check in turn, since every launch costs seconds.
#include <algorithm>
#include <cairo.h>
#include <fstream>

#include "sim/assertions.h"
#include "sim/sim_root.h"
#include "tests/support/sim_root_fixture.h"

namespace corvel {
namespace {
namespace fs = std::filesystem;
using test::eventually;
using test::ProgramProcess;

class CorvelEndToEnd : public test::SimRootTest {
 protected:
  std::size_t assertions() { return sim::liveAssertions(root()).size(); }
  fs::path agentFile() { return root() / "Library/LaunchAgents/app.corvel.Corvel.watchdog.plist"; }
  void tell(const std::string& text) { std::ofstream(root() / "desktop") << text; }
};

// The Dock icon as drawn: a transparent margin and corners, a green rounded square, the word centred.
void expectTheDockIconOn(const fs::path& file) {
  const std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> png(
      cairo_image_surface_create_from_png(file.c_str()), cairo_surface_destroy);
  ASSERT_EQ(cairo_surface_status(png.get()), CAIRO_STATUS_SUCCESS);
  ASSERT_EQ(cairo_image_surface_get_width(png.get()), 512);
  // Channel `shift` (0 blue, 8 green, 16 red, 24 alpha) at (x, y), with y upwards from the bottom
  // as in the icon's own coordinates.
  const auto at = [&](int x, int y, int shift) {
    const auto* row = cairo_image_surface_get_data(png.get()) + (511 - y) * cairo_image_surface_get_stride(png.get());
    return int(reinterpret_cast<const std::uint32_t*>(row)[x] >> shift & 0xff);
  };
  for (auto [x, y] : {std::pair{5, 5}, {256, 10}, {500, 256}, {30, 30}}) EXPECT_EQ(at(x, y, 24), 0) << x << "," << y;
  EXPECT_EQ(at(60, 300, 24), 255);
  EXPECT_GT(at(60, 300, 8), at(60, 300, 16) + 60);
  // The word "ON" sits on y = 174 upwards; its white ink is centred on x = 256 within a few pixels.
  int left = 512, right = -1;
  for (int y = 180; y < 330; ++y)
    for (int x = 0; x < 512; ++x)
      if (std::min({at(x, y, 0), at(x, y, 8), at(x, y, 16)}) > 200)
        left = std::min(left, x), right = std::max(right, x);
  ASSERT_GT(right, left);
  EXPECT_NEAR((left + right) / 2.0, 256, 12);
}

TEST_F(CorvelEndToEnd, ALaunchSwitchesOnRefusesToQuitAnswersLaunchesAndTurnOffAndQuitEndsAll) {
  auto corvel = start({{"CORVEL_SKIP_SERVICE", ""}, {"CORVEL_NO_TOGGLE", ""}});
  ASSERT_TRUE(corvel->waitFor("メニューバー: 🟢 スリープ防止 ON")) << corvel->transcript();
  EXPECT_EQ(defaults().value("ProtectionEnabled", false), true);
  EXPECT_TRUE(eventually([&] { return assertions() == 1; }));
  EXPECT_TRUE(fs::exists(agentFile()));
  ::usleep(300000);
  expectTheDockIconOn(root() / "dock.png");

  // A watchdog relaunches only a Corvel that is gone; finding one, it must not click its Dock tile.
  ProgramProcess relaunch(test::binFolder() / "Corvel", {"--watchdog-launch"}, {{"CORVEL_SKIP_SERVICE", "1"}});
  EXPECT_EQ(relaunch.waitForExit(), 0);
  EXPECT_EQ(relaunch.transcript(), "");
  EXPECT_FALSE(corvel->waitFor("⚫", std::chrono::milliseconds(800))) << corvel->transcript();

  ASSERT_TRUE(test::play(
      *corvel, {{"quit", "スリープ防止がONです"}, {"", "先にアイコンをクリックしてOFFにしてください。"}, {"OK", ""}}));
  corvel->closeInput();  // the end of input is not a quit either
  EXPECT_FALSE(corvel->waitForExit(std::chrono::milliseconds(500)));
  EXPECT_EQ(assertions(), 1u);

  // Opening Corvel again clicks the running one, as a click on its Dock tile would.
  ProgramProcess second(test::binFolder() / "Corvel", {}, {{"CORVEL_SKIP_SERVICE", "1"}});
  EXPECT_EQ(second.waitForExit(), 0) << second.transcript();
  EXPECT_TRUE(corvel->waitFor("メニューバー: ⚫ スリープ防止 OFF")) << corvel->transcript();
  tell("right-click\nOFFにして終了\n");
  EXPECT_EQ(corvel->waitForExit(), 0) << corvel->transcript();
  EXPECT_FALSE(fs::exists(agentFile()));
  EXPECT_EQ(defaults().value("ProtectionEnabled", true), false);
  EXPECT_TRUE(eventually([&] { return assertions() == 0; }));
}

// Nothing that reaches Corvel from outside may act or be shown beyond what it means: whoever can
// write to the pipe must not reach the terminal through Corvel's explanations, what lies at the
// desktop's name is not the window server's pipe unless Corvel made it, and a link at one of
// Corvel's predictable temporary names is replaced, never written through.
TEST_F(CorvelEndToEnd, WhatComesFromOutsideIsNeverRepeatedFollowedOrWrittenThrough) {
  const fs::path desktop = root() / "desktop", target = root() / "target";
  sim::replaceFileAtomically(target, "click\nclick\nclick\n");
  fs::create_symlink(target, desktop);
  auto corvel = start();
  EXPECT_TRUE(fs::is_fifo(fs::symlink_status(desktop)));
  const auto aside = test::entriesOf(root(), "desktop.");
  ASSERT_EQ(aside.size(), 1u);
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(aside[0])));

  const std::string pid = std::to_string(corvel->pid());
  const fs::path planted[] = {root() / ("dock.png.tmp." + pid), root() / (".dock.png.tmp." + pid),
                              root() / "Library/Preferences" / (".app.corvel.Corvel.json.tmp." + pid),
                              root() / "mac" / (".session-locked.tmp." + pid)};
  for (const auto& link : planted)
    sim::replaceFileAtomically(link.string() + ".target", "precious\n"),
        fs::create_symlink(link.string() + ".target", link);

  EXPECT_TRUE(test::play(*corvel, {{"dance\x1b]0;owned\x07", "分かりません"},
                                   {"", "click, right-click, dock-click, quit, lock-screen, unlock-screen"},
                                   {"right-click", ""},
                                   {"現在：OFF", "このメニューで選べません"},  // the information line cannot be chosen
                                   {"", "close"},
                                   {"close", ""}}));
  // The pipe is shared by every writer that comes along; what one leaves unfinished must not be
  // taken as the start of the next one's line.
  for (const char* fragment : {"cl", "quit"}) tell(fragment), ::usleep(300000);
  // Neither the launch nor the clicks in the file that lay at the desktop's name switched it on.
  EXPECT_EQ(corvel->transcript().find("🟢"), std::string::npos) << corvel->transcript();
  tell("click\n");
  ASSERT_TRUE(corvel->waitFor("メニューバー: 🟢 スリープ防止 ON")) << corvel->transcript();
  corvel->send("lock-screen");
  ASSERT_TRUE(eventually([&] { return macValue("session-locked") == "1"; }));
  ::usleep(300000);
  for (const auto& link : planted) EXPECT_EQ(sim::readFile(link.string() + ".target"), "precious\n") << link;
  const std::string& shown = corvel->transcript();
  EXPECT_EQ(shown.find("分かりません"), shown.rfind("分かりません")) << shown;  // none for the unfinished lines
  for (const char* echoed : {"dance", "owned", "\x1b", "現在：OFF」"}) EXPECT_EQ(shown.find(echoed), std::string::npos);

  // A file planted in the pipe's place later is not written into by a second launch.
  fs::remove(desktop);
  fs::copy_file(target, desktop);
  ProgramProcess second(test::binFolder() / "Corvel", {}, {{"CORVEL_SKIP_SERVICE", "1"}});
  const auto status = second.waitForExit();
  ASSERT_NE(status, std::nullopt);
  EXPECT_EQ(sim::readFile(target), "click\nclick\nclick\n");
  // The running Corvel may have set the file aside and made a fresh pipe first (never opened here
  // for reading: that would wait for a writer); wherever the file is, it is as it was planted.
  for (const auto& entry : fs::directory_iterator(root())) {
    const std::string name = entry.path().filename().string();
    if ((name == "desktop" || name.starts_with("desktop.")) && fs::is_regular_file(fs::symlink_status(entry))) {
      EXPECT_EQ(sim::readFile(entry.path()), "click\nclick\nclick\n") << name;
    }
  }
  // A second launch that found no pipe clicked nothing; one that found the fresh pipe reopened Corvel.
  EXPECT_FALSE(*status != 0 && corvel->waitFor("⚫", std::chrono::milliseconds(500))) << corvel->transcript();
}

// On a Mac, terminate: ends the process after the will-terminate step; nothing that was waiting
// underneath (here the fingerprint prompt of a switch) may carry on after the clean-up. The next
// Corvel then switches on and puts everything back.
TEST_F(CorvelEndToEnd, AQuitAtTheFingerprintPromptEndsCorvelThereAndARestorePutsAllBack) {
  setMacValue("screenlock", "300");
  auto corvel = start({{"CORVEL_SKIP_SERVICE", ""}});
  ASSERT_TRUE(test::play(*corvel, test::setUpRemoteStrong));
  ASSERT_TRUE(eventually([&] { return defaults().value("ProtectionMode", "") == "remoteStrong"; }));
  EXPECT_EQ(macValue("screenlock"), "off");
  corvel->send("click");
  ASSERT_TRUE(corvel->waitFor("Touch ID: リモート強制モードを切り替えます")) << corvel->transcript();
  corvel->send("quit");
  EXPECT_EQ(corvel->waitForExit(std::chrono::seconds(5)), 0) << corvel->transcript();
  EXPECT_EQ(defaults().value("ProtectionEnabled", false), false);
  EXPECT_NE(macValue("disablesleep"), "1");
  EXPECT_EQ(assertions(), 0u);
  EXPECT_FALSE(fs::exists(agentFile()));

  corvel = start();
  ASSERT_TRUE(
      test::play(*corvel, {{"click", "Touch ID:"}, {"touch", "メニューバー: 🟢 スリープ防止 ON"}}));
  EXPECT_EQ(macValue("disablesleep"), "1");
  EXPECT_FALSE(fs::is_empty(root() / "etc/sudoers.d"));
  ASSERT_TRUE(test::play(*corvel, test::restoreAndQuit(/*touchID=*/true, /*lockToRestore=*/true)));
  EXPECT_EQ(corvel->waitForExit(), 0) << corvel->transcript();
  EXPECT_EQ(macValue("disablesleep"), "0");
  EXPECT_EQ(assertions(), 0u);  // ended by Corvel before it quit, not some time after
  expectAllPutBack();
  EXPECT_EQ(corvel->transcript().find("\ncorvel\n"), std::string::npos);  // the typed password was never shown
}

// A simulated Mac Corvel cannot serve safely: one line saying why, a failing status, and nothing
// made or changed, above all not in the real system's folders.
TEST_F(CorvelEndToEnd, AnUnusableOrSystemSimRootEndsCorvelWithOneLineNamingItAndNothingMade) {
  const fs::path blocked = root() / "blocked", foreign = root() / "foreign", open = root() / "open";
  for (const fs::path& folder : {blocked, foreign, open, root() / "corvel.pid"}) fs::create_directories(folder);
  sim::replaceFileAtomically(blocked / "mac", "");
  fs::permissions(open, fs::perms::all);
  std::vector<std::pair<fs::path, const char*>> cases = {
      {blocked, "blocked"}, {open, "open"},          {root(), "corvel.pid"}, {"/", "/"},
      {"/etc/", "/etc"},    {"/usr/../tmp", "/tmp"}, {"/lib64", "/lib64"},   {"/usr", "/usr"}};
  // Only root can hand a folder to another account.
  if (::chown(foreign.c_str(), 65534, 65534) == 0) cases.emplace_back(foreign, "foreign");
  for (const auto& [simRoot, mentioned] : cases) {
    ProgramProcess corvel(
        test::binFolder() / "Corvel", {},
        {{"CORVEL_SIM_ROOT", simRoot.string()}, {"CORVEL_SKIP_SERVICE", "1"}, {"CORVEL_NO_TOGGLE", "1"}});
    const auto status = corvel.waitForExit(std::chrono::seconds(5));
    EXPECT_TRUE(status && *status != 0) << simRoot << ": " << corvel.transcript();
    EXPECT_EQ(std::count(corvel.transcript().begin(), corvel.transcript().end(), '\n'), 1) << corvel.transcript();
    EXPECT_NE(corvel.transcript().find(mentioned), std::string::npos) << corvel.transcript();
  }
  for (const char* made : {"/mac", "/Library/Preferences", "/etc/sudoers.d/corvel-root", "/tmp/mac", "/lib64/mac"})
    EXPECT_FALSE(fs::exists(made)) << made;
  EXPECT_TRUE(fs::is_empty(foreign) && fs::is_empty(open));
}

TEST_F(CorvelEndToEnd, DiagnoseAnswersBeforeAnythingElse) {
  ProgramProcess corvel(test::binFolder() / "Corvel", {"--watchdog-launch", "--diagnose"}, {});
  EXPECT_EQ(corvel.waitForExit(), 0);
  EXPECT_EQ(corvel.transcript(),
            "{\"bundleIdentifier\":\"app.corvel.Corvel\",\"minimumSystem\":\"13.0\",\"modes\":[\"standard\","
            "\"remoteStrong\"]}\n");
  EXPECT_FALSE(fs::exists(root() / "corvel.pid"));  // nothing of the application was made
}

}  // namespace
}  // namespace corvel
