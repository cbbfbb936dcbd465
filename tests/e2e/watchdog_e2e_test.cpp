// Crash recovery end to end: Corvel registers CorvelWatchdog, is killed, and comes back with its
// protection (and the very caffeinate that held the Mac awake) as it was.
#include <algorithm>
#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "adapters/posix/process_info.h"
#include "sim/agent_service_sim.h"
#include "sim/assertions.h"
#include "sim/sim_root.h"
#include "sim/workspace_sim.h"
#include "tests/support/corvel_process.h"
#include "tests/support/sim_root_fixture.h"

namespace corvel {
namespace {
namespace fs = std::filesystem;
using test::eventually;
using test::ProgramProcess;

class WatchdogEndToEnd : public test::SimRootTest {
 protected:
  fs::path agentFile() { return root() / "Library/LaunchAgents/app.corvel.Corvel.watchdog.plist"; }
  pid_t claimedBy() {
    const auto text = sim::readFile(root() / "corvel.pid");
    const bool held = sim::corvelClaim(root()) == sim::Claim::heldByAnother;
    return text && held ? static_cast<pid_t>(std::atoi(text->c_str())) : 0;
  }
  bool enabled() {
    const auto text = sim::readFile(root() / "Library/Preferences/app.corvel.Corvel.json");
    return text && nlohmann::json::parse(*text, nullptr, false).value("ProtectionEnabled", false);
  }
  void tell(const std::string& line) {
    std::ofstream pipe(root() / "desktop");
    pipe << line << "\n";
  }
  void TearDown() override {
    if (const pid_t agent = sim::registeredAgentPid(agentFile()); agent > 0) ::kill(agent, SIGKILL);
    if (const pid_t corvel = claimedBy(); corvel > 0) ::kill(corvel, SIGKILL);
    for (pid_t pid : sim::liveAssertions(root())) ::kill(pid, SIGTERM);
    test::SimRootTest::TearDown();
  }
};

TEST_F(WatchdogEndToEnd, AKilledCorvelComesBackWithItsProtectionAndOneAssertion) {
  auto corvel = std::make_unique<ProgramProcess>(test::binFolder() / "Corvel", std::vector<std::string>{},
                                                 std::map<std::string, std::string>{{"CORVEL_SKIP_SERVICE", ""}});
  ASSERT_TRUE(corvel->waitFor("メニューバー: 🟢 スリープ防止 ON")) << corvel->transcript();
  const pid_t watchdog = sim::registeredAgentPid(agentFile());
  ASSERT_GT(watchdog, 0);
  ASSERT_TRUE(eventually([&] { return sim::processIsAlive(watchdog); }));
  ASSERT_TRUE(eventually([&] { return sim::liveAssertions(root()).size() == 1; }));
  const pid_t holder = sim::liveAssertions(root()).at(0);

  const pid_t first = corvel->pid();
  corvel->kill(SIGKILL);
  corvel->waitForExit();

  // Within one check interval plus start-up time a Corvel started by the watchdog serves the root.
  ASSERT_TRUE(eventually([&] { return claimedBy() > 0 && claimedBy() != first; }, std::chrono::seconds(30)));
  const auto commandLine = commandLineOf(claimedBy());
  ASSERT_TRUE(commandLine);
  EXPECT_EQ(std::vector<std::string>(commandLine->begin() + 1, commandLine->end()),
            std::vector<std::string>{"--watchdog-launch"});
  EXPECT_TRUE(enabled());
  // The caffeinate of the killed Corvel carried on and was taken over: still exactly one.
  EXPECT_EQ(sim::liveAssertions(root()), std::vector<pid_t>{holder});

  // Switched off through the desktop, the one child goes and none is left.
  tell("click");
  EXPECT_TRUE(eventually([&] { return !enabled() && sim::liveAssertions(root()).empty(); }));
  EXPECT_TRUE(eventually([&] {
    const auto log = sim::readFile(root() / "corvel.log");
    return log && log->find("メニューバー: ⚫ スリープ防止 OFF") != std::string::npos;
  }));

  // An orderly quit unregisters the agent, and the watchdog is gone with it.
  tell("right-click");
  tell("OFFにして終了");
  EXPECT_TRUE(eventually([&] { return claimedBy() == 0; }));
  EXPECT_FALSE(fs::exists(agentFile()));
  EXPECT_TRUE(eventually([&] { return !sim::processIsAlive(watchdog); }));
}

TEST_F(WatchdogEndToEnd, WithNoCorvelToFindTheWatchdogKeepsCheckingSilently) {
  // A watchdog installed where no Corvel lies beside it: nothing can be opened.
  const fs::path alone = root() / "alone";
  fs::create_directories(alone);
  fs::copy_file(test::binFolder() / "CorvelWatchdog", alone / "CorvelWatchdog");
  ProgramProcess watchdog(alone / "CorvelWatchdog", {}, {});
  EXPECT_FALSE(watchdog.waitForExit(std::chrono::milliseconds(6000)));  // over one whole interval
  EXPECT_TRUE(watchdog.running());
  EXPECT_EQ(watchdog.transcript(), "");
  EXPECT_EQ(claimedBy(), 0);
}

// A stand-in for Corvel beside a watchdog of its own, that only notes each start in the root.
class WatchdogWithRecordingCorvel : public WatchdogEndToEnd {
 protected:
  void SetUp() override {
    WatchdogEndToEnd::SetUp();
    fs::create_directories(folder());
    fs::copy_file(test::binFolder() / "CorvelWatchdog", folder() / "CorvelWatchdog");
    sim::replaceFileAtomically(folder() / "Corvel", "#!/bin/sh\necho \"$@\" >> \"$CORVEL_SIM_ROOT/starts\"\n", 0755);
  }
  fs::path folder() { return root() / "installed"; }
  std::size_t starts() {
    const auto text = sim::readFile(root() / "starts").value_or("");
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
  }
};

// A claim that cannot be read says nothing about whether Corvel runs; starting one on every check
// would fill the machine with them.
TEST_F(WatchdogWithRecordingCorvel, NoCorvelIsStartedWhileTheClaimCannotBeRead) {
  fs::create_directories(root() / "corvel.pid");
  ProgramProcess watchdog(folder() / "CorvelWatchdog", {}, {});
  EXPECT_FALSE(watchdog.waitForExit(std::chrono::milliseconds(6000)));  // over one whole interval
  EXPECT_EQ(starts(), 0u);
}

// Two watchdogs relaunching in the same cycle would start Corvel twice; one serves a root.
TEST_F(WatchdogWithRecordingCorvel, OneWatchdogServesARoot) {
  ProgramProcess first(folder() / "CorvelWatchdog", {}, {});
  ASSERT_TRUE(eventually([&] { return starts() == 1; }));
  ProgramProcess second(folder() / "CorvelWatchdog", {}, {});
  EXPECT_EQ(second.waitForExit(std::chrono::seconds(3)), 0);
  EXPECT_EQ(starts(), 1u);
  EXPECT_TRUE(first.running());
  EXPECT_EQ(sim::readFile(root() / "starts"), "--watchdog-launch\n");
}

}  // namespace
}  // namespace corvel
