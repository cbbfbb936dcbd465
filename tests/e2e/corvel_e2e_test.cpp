// Corvel end to end: the built program on a simulated Mac of its own, driven through its terminal
// protocol as a person would.
#include <algorithm>
#include <cairo.h>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <unistd.h>

#include "sim/assertions.h"
#include "sim/sim_root.h"
#include "tests/support/corvel_process.h"
#include "tests/support/sim_root_fixture.h"

namespace corvel {
namespace {
namespace fs = std::filesystem;
using test::eventually;
using test::ProgramProcess;

class CorvelEndToEnd : public test::SimRootTest {
 protected:
  std::unique_ptr<ProgramProcess> start(std::map<std::string, std::string> environment = {},
                                        std::vector<std::string> arguments = {}) {
    environment.emplace("CORVEL_SKIP_SERVICE", "1");
    auto corvel = std::make_unique<ProgramProcess>(test::binFolder() / "Corvel", arguments, environment);
    EXPECT_TRUE(corvel->waitFor("メニューバー: ⚫ スリープ防止 OFF")) << corvel->transcript();
    return corvel;
  }
  nlohmann::json defaults() {
    const auto text = sim::readFile(root() / "Library/Preferences/app.corvel.Corvel.json");
    return text ? nlohmann::json::parse(*text, nullptr, false) : nlohmann::json::object();
  }
  std::size_t assertions() { return sim::liveAssertions(root()).size(); }
  void setUpRemoteStrong(ProgramProcess& corvel) {
    corvel.send("right-click");
    corvel.send("リモート強制モード");
    ASSERT_TRUE(corvel.waitFor("リモート強制モードを設定します")) << corvel.transcript();
    corvel.send("設定する");
    ASSERT_TRUE(corvel.waitFor("画面ロック防止を設定します"));
    corvel.send("corvel");
    corvel.send("続ける");
    ASSERT_TRUE(corvel.waitFor("管理者の承認")) << corvel.transcript();
    corvel.send("approve");
    ASSERT_TRUE(eventually([&] { return defaults().value("ProtectionMode", "") == "remoteStrong"; }));
  }
  void TearDown() override {
    // Whatever a test left running under its root goes with it.
    for (pid_t pid : sim::liveAssertions(root())) ::kill(pid, SIGTERM);
    test::SimRootTest::TearDown();
  }
};

TEST_F(CorvelEndToEnd, AnOrdinaryLaunchSwitchesProtectionOnByItself) {
  auto corvel = start();
  ASSERT_TRUE(corvel->waitFor("メニューバー: 🟢 スリープ防止 ON")) << corvel->transcript();
  EXPECT_EQ(defaults().value("ProtectionEnabled", false), true);
  EXPECT_TRUE(eventually([&] { return assertions() == 1; }));
}

TEST_F(CorvelEndToEnd, NoToggleKeepsItOffAndClicksStillToggle) {
  auto corvel = start({{"CORVEL_NO_TOGGLE", "1"}});
  ::usleep(600000);  // well past the moment the launch would have toggled
  corvel->send("right-click");
  ASSERT_TRUE(corvel->waitFor("ONに切り替える")) << corvel->transcript();
  corvel->send("close");
  EXPECT_EQ(corvel->transcript().find("🟢"), std::string::npos);
  EXPECT_EQ(assertions(), 0u);
  // After a right click and its menu, a left click toggles rather than opening the menu again.
  corvel->send("click");
  ASSERT_TRUE(corvel->waitFor("メニューバー: 🟢 スリープ防止 ON")) << corvel->transcript();
  corvel->send("click");
  ASSERT_TRUE(corvel->waitFor("メニューバー: ⚫ スリープ防止 OFF")) << corvel->transcript();
  EXPECT_EQ(corvel->transcript().find("メニュー:", corvel->transcript().find("close")), std::string::npos);
}

TEST_F(CorvelEndToEnd, QuitWhileOnIsRefusedAndCorvelKeepsRunning) {
  auto corvel = start();
  ASSERT_TRUE(corvel->waitFor("メニューバー: 🟢 スリープ防止 ON"));
  corvel->send("quit");
  ASSERT_TRUE(corvel->waitFor("スリープ防止がONです")) << corvel->transcript();
  ASSERT_TRUE(corvel->waitFor("先にアイコンをクリックしてOFFにしてください。"));
  corvel->send("OK");
  corvel->closeInput();  // the end of input is not a quit either
  EXPECT_FALSE(corvel->waitForExit(std::chrono::milliseconds(500)));
  EXPECT_TRUE(corvel->running());
  EXPECT_EQ(assertions(), 1u);
}

// Whoever can write to the pipe must not reach the terminal through Corvel's explanations, and a
// password typed when no dialog is open must not land in the log.
TEST_F(CorvelEndToEnd, LinesThatMeanNothingAreExplainedWithoutBeingRepeated) {
  auto corvel = start({{"CORVEL_NO_TOGGLE", "1"}});
  corvel->send("dance\x1b]0;owned\x07");
  EXPECT_TRUE(corvel->waitFor("分かりません")) << corvel->transcript();
  EXPECT_TRUE(corvel->waitFor("click, right-click, dock-click, quit, lock-screen, unlock-screen"));
  corvel->send("right-click");
  corvel->send("現在：OFF");  // the information line cannot be chosen
  EXPECT_TRUE(corvel->waitFor("このメニューで選べません")) << corvel->transcript();
  EXPECT_TRUE(corvel->waitFor("close")) << corvel->transcript();
  corvel->send("close");
  corvel->send("click");
  EXPECT_TRUE(corvel->waitFor("メニューバー: 🟢 スリープ防止 ON"));
  for (const char* echoed : {"dance", "owned", "\x1b", "現在：OFF」"}) {
    EXPECT_EQ(corvel->transcript().find(echoed), std::string::npos) << echoed;
  }
}

// The pipe is shared by every writer that comes along; what one leaves unfinished is no part of the
// next one's line.
TEST_F(CorvelEndToEnd, ADesktopWriterThatLeavesMidLineDoesNotSpoilTheNextOne) {
  auto corvel = start({{"CORVEL_NO_TOGGLE", "1"}});
  for (const char* fragment : {"cl", "quit"}) {
    std::ofstream(root() / "desktop") << fragment;
    ::usleep(300000);
  }
  std::ofstream(root() / "desktop") << "click\n";
  EXPECT_TRUE(corvel->waitFor("メニューバー: 🟢 スリープ防止 ON")) << corvel->transcript();
  EXPECT_EQ(corvel->transcript().find("分かりません"), std::string::npos) << corvel->transcript();
}

// On a Mac, terminate: ends the process after the will-terminate step; nothing that was waiting
// underneath (here the fingerprint prompt of a switch) may carry on after the clean-up.
TEST_F(CorvelEndToEnd, AQuitWhileTheFingerprintPromptIsUpEndsCorvelThere) {
  auto corvel = start({{"CORVEL_NO_TOGGLE", "1"}, {"CORVEL_SKIP_SERVICE", ""}});
  setUpRemoteStrong(*corvel);
  corvel->send("click");
  ASSERT_TRUE(corvel->waitFor("Touch ID: リモート強制モードを切り替えます")) << corvel->transcript();
  corvel->send("quit");
  const auto status = corvel->waitForExit(std::chrono::seconds(5));
  corvel->send("touch");
  EXPECT_EQ(corvel->waitForExit(std::chrono::seconds(2)), 0) << corvel->transcript();
  EXPECT_EQ(status, 0);
  EXPECT_EQ(defaults().value("ProtectionEnabled", false), false);
  EXPECT_NE(macValue("disablesleep"), "1");
  EXPECT_EQ(assertions(), 0u);
  EXPECT_FALSE(fs::exists(root() / "Library/LaunchAgents/app.corvel.Corvel.watchdog.plist"));
}

TEST_F(CorvelEndToEnd, TurnOffAndQuitEndsProtectionAndTheAgent) {
  auto corvel = std::make_unique<ProgramProcess>(test::binFolder() / "Corvel", std::vector<std::string>{},
                                                 std::map<std::string, std::string>{{"CORVEL_SKIP_SERVICE", ""}});
  ASSERT_TRUE(corvel->waitFor("メニューバー: 🟢 スリープ防止 ON")) << corvel->transcript();
  const fs::path agent = root() / "Library/LaunchAgents/app.corvel.Corvel.watchdog.plist";
  EXPECT_TRUE(fs::exists(agent));
  corvel->send("right-click");
  corvel->send("OFFにして終了");
  EXPECT_EQ(corvel->waitForExit(), 0) << corvel->transcript();
  EXPECT_FALSE(fs::exists(agent));
  EXPECT_EQ(defaults().value("ProtectionEnabled", true), false);
  EXPECT_TRUE(eventually([&] { return assertions() == 0; }));
}

TEST_F(CorvelEndToEnd, RemoteStrongSetUpThenRestoreAndQuitPutsEverythingBack) {
  setMacValue("screenlock", "300");
  auto corvel = start({{"CORVEL_NO_TOGGLE", "1"}});
  setUpRemoteStrong(*corvel);
  EXPECT_EQ(macValue("screenlock"), "off");
  corvel->send("click");
  ASSERT_TRUE(corvel->waitFor("Touch ID: リモート強制モードを切り替えます")) << corvel->transcript();
  corvel->send("touch");
  ASSERT_TRUE(corvel->waitFor("メニューバー: 🟢 スリープ防止 ON")) << corvel->transcript();
  EXPECT_EQ(macValue("disablesleep"), "1");
  EXPECT_FALSE(fs::is_empty(root() / "etc/sudoers.d"));

  corvel->send("right-click");
  corvel->send("設定を元に戻して終了…");
  ASSERT_TRUE(corvel->waitFor("Macの設定を元に戻しますか？")) << corvel->transcript();
  corvel->send("元に戻して終了");
  ASSERT_TRUE(corvel->waitFor("Touch ID:")) << corvel->transcript();
  corvel->send("touch");
  ASSERT_TRUE(corvel->waitFor("画面ロック設定を元に戻します")) << corvel->transcript();
  corvel->send("corvel");
  corvel->send("1");
  ASSERT_TRUE(corvel->waitFor("管理者の承認")) << corvel->transcript();
  corvel->send("approve");
  EXPECT_EQ(corvel->waitForExit(), 0) << corvel->transcript();

  EXPECT_EQ(macValue("screenlock"), "300");
  EXPECT_EQ(macValue("disablesleep"), "0");
  EXPECT_TRUE(fs::is_empty(root() / "etc/sudoers.d"));
  const auto stored = defaults();
  EXPECT_FALSE(stored.contains("DidDisableScreenLock"));
  EXPECT_FALSE(stored.contains("PreviousScreenLockState"));
  EXPECT_EQ(assertions(), 0u);
  // The typed password was never shown.
  EXPECT_EQ(corvel->transcript().find("\ncorvel\n"), std::string::npos);
}

TEST_F(CorvelEndToEnd, OpeningCorvelAgainClicksTheRunningOne) {
  auto corvel = start({{"CORVEL_NO_TOGGLE", "1"}});
  ProgramProcess second(test::binFolder() / "Corvel", {}, {{"CORVEL_SKIP_SERVICE", "1"}});
  EXPECT_EQ(second.waitForExit(), 0) << second.transcript();
  EXPECT_TRUE(corvel->waitFor("メニューバー: 🟢 スリープ防止 ON")) << corvel->transcript();
  EXPECT_TRUE(corvel->running());
}

// A watchdog relaunches only a Corvel that is gone; finding one, it must not click its Dock tile.
TEST_F(CorvelEndToEnd, AWatchdogLaunchThatFindsCorvelRunningLeavesIt) {
  auto corvel = start({{"CORVEL_NO_TOGGLE", "1"}});
  ProgramProcess second(test::binFolder() / "Corvel", {"--watchdog-launch"}, {{"CORVEL_SKIP_SERVICE", "1"}});
  EXPECT_EQ(second.waitForExit(), 0);
  EXPECT_EQ(second.transcript(), "");
  EXPECT_FALSE(corvel->waitFor("🟢", std::chrono::milliseconds(800))) << corvel->transcript();
}

// What lies at the desktop's name before Corvel ever ran, or replaces it later, is not the window
// server's pipe: its contents are never taken as input, and nothing is written into it or through it.
TEST_F(CorvelEndToEnd, ADesktopThatIsNotOurPipeIsSetAsideAndNeverWrittenTo) {
  const fs::path desktop = root() / "desktop", target = root() / "target";
  const auto setAside = [&] {
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(root())) {
      if (entry.path().filename().string().starts_with("desktop.")) found.push_back(entry.path());
    }
    return found;
  };
  for (const bool asLink : {false, true}) {
    SCOPED_TRACE(asLink ? "link" : "file");
    sim::replaceFileAtomically(target, "click\nclick\nclick\n");
    if (asLink) {
      fs::create_symlink(target, desktop);
    } else {
      fs::copy_file(target, desktop);
    }
    auto corvel = start({{"CORVEL_NO_TOGGLE", "1"}});
    EXPECT_TRUE(fs::is_fifo(fs::symlink_status(desktop)));
    const auto aside = setAside();
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(fs::is_symlink(fs::symlink_status(aside[0])), asLink);
    // A planted file in its place afterwards is not written into by a second launch.
    fs::remove(desktop);
    if (asLink) {
      fs::create_symlink(target, desktop);
    } else {
      fs::copy_file(target, desktop);
    }
    ProgramProcess second(test::binFolder() / "Corvel", {}, {{"CORVEL_SKIP_SERVICE", "1"}});
    EXPECT_NE(second.waitForExit(), std::nullopt);
    EXPECT_EQ(sim::readFile(target), "click\nclick\nclick\n");
    EXPECT_EQ(sim::readFile(desktop), "click\nclick\nclick\n");
    EXPECT_FALSE(corvel->waitFor("🟢", std::chrono::milliseconds(500))) << corvel->transcript();
    corvel.reset();
    fs::remove(desktop);
    fs::remove(aside[0]);
  }
}

// Corvel's temporary names are predictable; a link planted at one is replaced, never written through.
TEST_F(CorvelEndToEnd, ALinkPlantedAtATemporaryNameIsNeverWrittenThrough) {
  auto corvel = start({{"CORVEL_NO_TOGGLE", "1"}});
  const std::string pid = std::to_string(corvel->pid());
  const fs::path planted[] = {root() / ("dock.png.tmp." + pid), root() / (".dock.png.tmp." + pid),
                              root() / "Library/Preferences" / (".app.corvel.Corvel.json.tmp." + pid),
                              root() / "mac" / (".session-locked.tmp." + pid)};
  for (const auto& link : planted) {
    sim::replaceFileAtomically(link.string() + ".target", "precious\n");
    fs::create_symlink(link.string() + ".target", link);
  }
  corvel->send("click");
  corvel->send("lock-screen");
  ASSERT_TRUE(corvel->waitFor("メニューバー: 🟢 スリープ防止 ON")) << corvel->transcript();
  ASSERT_TRUE(eventually([&] { return macValue("session-locked") == "1"; }));
  ::usleep(300000);
  for (const auto& link : planted) EXPECT_EQ(sim::readFile(link.string() + ".target"), "precious\n") << link;
}

// A simulated Mac Corvel cannot serve safely: one line saying why, a failing status, and nothing
// made or changed, above all not in the real system's folders.
TEST_F(CorvelEndToEnd, ARootCorvelCannotServeEndsItWithOneClearLine) {
  const fs::path blocked = root() / "blocked", foreign = root() / "foreign", open = root() / "open";
  fs::create_directories(blocked);
  sim::replaceFileAtomically(blocked / "mac", "");
  fs::create_directories(open);
  fs::permissions(open, fs::perms::all);
  fs::create_directories(root() / "corvel.pid");
  std::vector<std::pair<fs::path, const char*>> cases = {
      {blocked, "blocked"}, {open, "open"},          {root(), "corvel.pid"}, {"/", "/"},
      {"/etc/", "/etc"},    {"/usr/../tmp", "/tmp"}, {"/lib64", "/lib64"},   {"/usr", "/usr"}};
  // Only root can hand a folder to another account.
  fs::create_directories(foreign);
  if (::chown(foreign.c_str(), 65534, 65534) == 0) cases.emplace_back(foreign, "foreign");
  for (const auto& [simRoot, mentioned] : cases) {
    SCOPED_TRACE(simRoot);
    ProgramProcess corvel(
        test::binFolder() / "Corvel", {},
        {{"CORVEL_SIM_ROOT", simRoot.string()}, {"CORVEL_SKIP_SERVICE", "1"}, {"CORVEL_NO_TOGGLE", "1"}});
    const auto status = corvel.waitForExit(std::chrono::seconds(5));
    ASSERT_NE(status, std::nullopt) << corvel.transcript();
    EXPECT_NE(*status, 0);
    EXPECT_EQ(std::count(corvel.transcript().begin(), corvel.transcript().end(), '\n'), 1) << corvel.transcript();
    EXPECT_NE(corvel.transcript().find(mentioned), std::string::npos) << corvel.transcript();
  }
  for (const char* made : {"/mac", "/Library/Preferences", "/etc/sudoers.d/corvel-root", "/tmp/mac", "/lib64/mac"}) {
    EXPECT_FALSE(fs::exists(made)) << made;
  }
  EXPECT_TRUE(fs::is_empty(foreign));
  EXPECT_TRUE(fs::is_empty(open));
}

TEST_F(CorvelEndToEnd, DiagnoseAnswersBeforeAnythingElse) {
  ProgramProcess corvel(test::binFolder() / "Corvel", {"--watchdog-launch", "--diagnose"}, {});
  EXPECT_EQ(corvel.waitForExit(), 0);
  EXPECT_EQ(corvel.transcript(),
            "{\"bundleIdentifier\":\"app.corvel.Corvel\",\"minimumSystem\":\"13.0\",\"modes\":[\"standard\","
            "\"remoteStrong\"]}\n");
  EXPECT_FALSE(fs::exists(root() / "corvel.pid"));  // nothing of the application was made
}

TEST_F(CorvelEndToEnd, ArgumentsThatOnlyResembleDiagnoseStartTheApplication) {
  for (const char* argument : {"-diagnose", "--Diagnose", "--diagnose=1"}) {
    auto corvel = start({{"CORVEL_NO_TOGGLE", "1"}}, {argument});
    EXPECT_TRUE(corvel->running()) << argument;
  }
}

// ---- The Dock icon, as drawn ----

struct Pixel {
  int r, g, b, a;
};

class DockPng {
 public:
  explicit DockPng(const fs::path& path) : surface_(cairo_image_surface_create_from_png(path.c_str())) {}
  ~DockPng() { cairo_surface_destroy(surface_); }
  bool ok() const { return cairo_surface_status(surface_) == CAIRO_STATUS_SUCCESS; }
  int width() const { return cairo_image_surface_get_width(surface_); }
  // (x, y) with y growing upwards from the bottom, as the icon's own coordinates.
  Pixel at(int x, int y) const {
    const int row = height() - 1 - y;
    const auto* data = cairo_image_surface_get_data(surface_) + row * cairo_image_surface_get_stride(surface_);
    const std::uint32_t p = reinterpret_cast<const std::uint32_t*>(data)[x];
    return {static_cast<int>((p >> 16) & 0xff), static_cast<int>((p >> 8) & 0xff), static_cast<int>(p & 0xff),
            static_cast<int>(p >> 24)};
  }
  int height() const { return cairo_image_surface_get_height(surface_); }

 private:
  cairo_surface_t* surface_;
};

TEST_F(CorvelEndToEnd, TheDockIconShowsTheStateColourAndACentredWord) {
  auto corvel = start();
  ASSERT_TRUE(corvel->waitFor("メニューバー: 🟢 スリープ防止 ON"));
  ::usleep(300000);
  DockPng png(root() / "dock.png");
  ASSERT_TRUE(png.ok());
  ASSERT_EQ(png.width(), 512);
  // Transparent margin, green rounded rectangle (with transparent corners beyond the radius).
  for (auto [x, y] : {std::pair{5, 5}, {256, 10}, {500, 256}, {30, 30}}) EXPECT_EQ(png.at(x, y).a, 0) << x << "," << y;
  const Pixel inside = png.at(60, 300);
  EXPECT_EQ(inside.a, 255);
  EXPECT_GT(inside.g, inside.r + 60);
  // The word "ON" sits on y = 174 upwards; its white ink is centred on x = 256 within a few pixels.
  int left = 512, right = -1;
  for (int y = 180; y < 330; ++y) {
    for (int x = 0; x < 512; ++x) {
      const Pixel p = png.at(x, y);
      if (p.r > 200 && p.g > 200 && p.b > 200) left = std::min(left, x), right = std::max(right, x);
    }
  }
  ASSERT_GT(right, left);
  EXPECT_NEAR((left + right) / 2.0, 256, 12);

  corvel->send("click");
  ASSERT_TRUE(corvel->waitFor("メニューバー: ⚫ スリープ防止 OFF"));
  ::usleep(300000);
  DockPng off(root() / "dock.png");
  const Pixel grey = off.at(60, 300);
  EXPECT_NEAR(grey.r, 64, 2);
  EXPECT_EQ(grey.r, grey.g);
  EXPECT_EQ(grey.g, grey.b);
}

}  // namespace
}  // namespace corvel
