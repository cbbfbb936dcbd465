// A Corvel killed in the middle of a flow, right after a system tool changed a setting: the Corvel
// started after it either finishes what was begun, or its restore puts back everything that changed.
#include <csignal>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "sim/assertions.h"
#include "sim/sim_root.h"
#include "tests/support/corvel_process.h"
#include "tests/support/sim_root_fixture.h"

namespace corvel {
namespace {
namespace fs = std::filesystem;
using test::eventually;
using test::ProgramProcess;

class InterruptedFlows : public test::SimRootTest {
 protected:
  void SetUp() override {
    test::SimRootTest::SetUp();
    setMacValue("screenlock", "300");
  }
  void TearDown() override {
    for (pid_t pid : sim::liveAssertions(root())) ::kill(pid, SIGTERM);
    test::SimRootTest::TearDown();
  }

  std::unique_ptr<ProgramProcess> launch(const std::string& pauseAfter, std::vector<std::string> arguments = {}) {
    auto corvel = std::make_unique<ProgramProcess>(
        test::binFolder() / "Corvel", arguments,
        std::map<std::string, std::string>{
            {"CORVEL_SKIP_SERVICE", "1"}, {"CORVEL_NO_TOGGLE", "1"}, {"CORVEL_SIM_PAUSE_AFTER", pauseAfter}});
    EXPECT_TRUE(corvel->waitFor("メニューバー: ")) << corvel->transcript();
    return corvel;
  }
  // A relaunch as the watchdog makes it after a crash.
  std::unique_ptr<ProgramProcess> relaunch() { return launch("", {"--watchdog-launch"}); }

  void play(ProgramProcess& corvel, const std::vector<std::pair<std::string, std::string>>& steps) {
    for (const auto& [line, expected] : steps) {
      if (!line.empty()) corvel.send(line);
      if (!expected.empty()) {
        ASSERT_TRUE(corvel.waitFor(expected)) << line << "\n" << corvel.transcript();
      }
    }
  }
  void setUpRemoteStrong(ProgramProcess& corvel) {
    play(corvel, {{"right-click", "メニュー:"},
                  {"リモート強制モード", "リモート強制モードを設定します"},
                  {"設定する", "画面ロック防止を設定します"},
                  {"corvel", ""},
                  {"続ける", "管理者の承認"},
                  {"approve", ""}});
  }
  void switchWithTouchID(ProgramProcess& corvel) { play(corvel, {{"click", "Touch ID:"}, {"touch", ""}}); }

  // Kills Corvel while the paused tool waits, then the tool: the setting has changed, nothing after.
  void killWhenPaused(ProgramProcess& corvel, const std::string& tool) {
    ASSERT_TRUE(eventually([&] { return macValue("paused").rfind(tool + " ", 0) == 0; })) << corvel.transcript();
    corvel.kill(SIGKILL);
    corvel.waitForExit();
    ::kill(std::stoi(macValue("paused").substr(tool.size() + 1)), SIGKILL);
    setMacValue("paused", "");
  }

  nlohmann::json defaults() {
    const auto text = sim::readFile(root() / "Library/Preferences/app.corvel.Corvel.json");
    return text ? nlohmann::json::parse(*text, nullptr, false) : nlohmann::json::object();
  }
  // Everything the remote set-up changed is back as it was, and nothing of Corvel's holds the Mac.
  void expectPutBack() {
    EXPECT_EQ(macValue("screenlock"), "300");
    EXPECT_NE(macValue("disablesleep"), "1");
    EXPECT_TRUE(fs::is_empty(root() / "etc/sudoers.d"));
    EXPECT_FALSE(defaults().contains("DidDisableScreenLock"));
    EXPECT_TRUE(eventually([&] { return sim::liveAssertions(root()).empty(); }));
  }
  void restoreAndQuit(ProgramProcess& corvel, bool touchID, bool lockToRestore) {
    play(corvel, {{"right-click", "メニュー:"},
                  {"設定を元に戻して終了…", "Macの設定を元に戻しますか？"},
                  {"元に戻して終了", ""}});
    if (touchID) play(corvel, {{"", "Touch ID:"}, {"touch", ""}});
    if (lockToRestore) play(corvel, {{"", "画面ロック設定を元に戻します"}, {"corvel", ""}, {"1", ""}});
    play(corvel, {{"", "管理者の承認"}, {"approve", ""}});
    EXPECT_EQ(corvel.waitForExit(), 0) << corvel.transcript();
  }
};

TEST_F(InterruptedFlows, SetUpKilledOnceTheLockIsOffStillKnowsWhatToPutBack) {
  auto corvel = launch("sysadminctl");
  setUpRemoteStrong(*corvel);
  killWhenPaused(*corvel, "sysadminctl");
  ASSERT_EQ(macValue("screenlock"), "off");

  auto next = relaunch();
  EXPECT_EQ(defaults().value("PreviousScreenLockState", ""), "300");
  restoreAndQuit(*next, /*touchID=*/false, /*lockToRestore=*/true);
  expectPutBack();
}

TEST_F(InterruptedFlows, SwitchOnKilledOnceSleepIsForbiddenComesBackOn) {
  auto corvel = launch("pmset");
  setUpRemoteStrong(*corvel);
  ASSERT_TRUE(eventually([&] { return defaults().value("ProtectionMode", "") == "remoteStrong"; }));
  switchWithTouchID(*corvel);
  killWhenPaused(*corvel, "pmset");
  ASSERT_EQ(macValue("disablesleep"), "1");

  auto next = relaunch();
  // The first thing it shows, once it has re-applied the stored state.
  ASSERT_NE(next->transcript().find("メニューバー: 🟢 スリープ防止 ON"), std::string::npos)
      << next->transcript();
  EXPECT_TRUE(eventually([&] { return sim::liveAssertions(root()).size() == 1; }));
  switchWithTouchID(*next);
  ASSERT_TRUE(next->waitFor("メニューバー: ⚫ スリープ防止 OFF")) << next->transcript();
  restoreAndQuit(*next, /*touchID=*/true, /*lockToRestore=*/true);
  expectPutBack();
}

TEST_F(InterruptedFlows, SwitchOffKilledOnceSleepIsAllowedComesBackAsItWas) {
  auto corvel = launch("");
  setUpRemoteStrong(*corvel);
  ASSERT_TRUE(eventually([&] { return defaults().value("ProtectionMode", "") == "remoteStrong"; }));
  switchWithTouchID(*corvel);
  ASSERT_TRUE(corvel->waitFor("メニューバー: 🟢 スリープ防止 ON")) << corvel->transcript();
  corvel->kill(SIGKILL);
  corvel->waitForExit();

  auto paused = launch("pmset", {"--watchdog-launch"});
  switchWithTouchID(*paused);
  killWhenPaused(*paused, "pmset");
  ASSERT_EQ(macValue("disablesleep"), "0");

  // Still stored on: the relaunch forbids sleep again and takes charge of the same caffeinate.
  auto next = relaunch();
  // The first thing it shows, once it has re-applied the stored state.
  ASSERT_NE(next->transcript().find("メニューバー: 🟢 スリープ防止 ON"), std::string::npos)
      << next->transcript();
  EXPECT_EQ(macValue("disablesleep"), "1");
  EXPECT_EQ(sim::liveAssertions(root()).size(), 1u);
}

TEST_F(InterruptedFlows, RestoreKilledOnceTheLockIsBackFinishesOnTheNextRestore) {
  auto first = launch("");
  setUpRemoteStrong(*first);
  ASSERT_TRUE(eventually([&] { return defaults().value("ProtectionMode", "") == "remoteStrong"; }));
  first->kill(SIGKILL);
  first->waitForExit();

  auto corvel = launch("sysadminctl", {"--watchdog-launch"});
  play(*corvel, {{"right-click", "メニュー:"},
                 {"設定を元に戻して終了…", "Macの設定を元に戻しますか？"},
                 {"元に戻して終了", "Touch ID:"},
                 {"touch", "画面ロック設定を元に戻します"},
                 {"corvel", ""},
                 {"1", ""}});
  killWhenPaused(*corvel, "sysadminctl");
  ASSERT_EQ(macValue("screenlock"), "300");

  auto next = relaunch();
  restoreAndQuit(*next, /*touchID=*/true, /*lockToRestore=*/false);
  expectPutBack();
}

}  // namespace
}  // namespace corvel
