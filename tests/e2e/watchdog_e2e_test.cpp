// Crash recovery end to end: Corvel registers CorvelWatchdog, is killed, and comes back with its
// protection (and the very caffeinate that held the Mac awake) as it was.
#include <csignal>
#include <gtest/gtest.h>

#include "adapters/posix/process_info.h"
#include "sim/assertions.h"
#include "sim/sim_root.h"
#include "sim/workspace_sim.h"
#include "tests/support/sim_root_fixture.h"

namespace corvel {
namespace {
namespace fs = std::filesystem;
using test::eventually;
using test::ProgramProcess;

class WatchdogEndToEnd : public test::SimRootTest {};

TEST_F(WatchdogEndToEnd, AKilledCorvelComesBackWithItsProtectionAndOneAssertion) {
  auto corvel = start({{"CORVEL_SKIP_SERVICE", ""}, {"CORVEL_NO_TOGGLE", ""}});
  ASSERT_TRUE(corvel->waitFor("メニューバー: 🟢 スリープ防止 ON")) << corvel->transcript();
  ASSERT_TRUE(eventually([&] { return test::processesOf(root(), test::binFolder() / "CorvelWatchdog").size() == 1; }));
  ASSERT_TRUE(eventually([&] { return sim::liveAssertions(root()).size() == 1; }));
  const pid_t holder = sim::liveAssertions(root()).at(0);
  const pid_t first = corvel->pid();
  const auto claimedBy = [&] {
    const auto text = sim::readFile(root() / "corvel.pid");
    return text && sim::corvelClaim(root()) == sim::Claim::heldByAnother ? std::atoi(text->c_str()) : 0;
  };
  ::kill(first, SIGKILL);
  corvel->waitForExit();

  // Within one check interval plus start-up time a Corvel started by the watchdog serves the root.
  ASSERT_TRUE(eventually([&] { return claimedBy() > 0 && claimedBy() != first; }, std::chrono::seconds(30)));
  const auto commandLine = commandLineOf(claimedBy());
  ASSERT_TRUE(commandLine);
  EXPECT_EQ(std::vector<std::string>(commandLine->begin() + 1, commandLine->end()),
            std::vector<std::string>{"--watchdog-launch"});
  EXPECT_TRUE(eventually([&] { return defaults().value("ProtectionEnabled", false); }));
  // The caffeinate of the killed Corvel carried on and was taken over: still exactly one.
  EXPECT_EQ(sim::liveAssertions(root()), std::vector<pid_t>{holder});
}

// launchd keeps a registered agent running whether or not Corvel runs, one instance of it, and not
// more often than every 10 seconds; an orderly quit unregisters it, and the agent goes with its job.
TEST_F(WatchdogEndToEnd, AKilledWatchdogComesBackWhileCorvelRunsAndGoesWithItsRegistration) {
  auto corvel = start({{"CORVEL_SKIP_SERVICE", ""}});
  const auto watchdogs = [&] { return test::processesOf(root(), test::binFolder() / "CorvelWatchdog"); };
  ASSERT_TRUE(eventually([&] { return watchdogs().size() == 1; }));
  const pid_t first = watchdogs().at(0);
  ::kill(first, SIGKILL);
  // One look at the processes per try: they may change between two, and an empty list has no [0].
  const auto replaced = [&](std::vector<pid_t> now) { return now.size() == 1 && now[0] != first; };
  ASSERT_TRUE(eventually([&] { return replaced(watchdogs()); }, std::chrono::seconds(30)));
  EXPECT_EQ(test::processesOf(root(), test::simTool("launchd")).size(), 1u);
  EXPECT_TRUE(corvel->running());
  corvel->send("quit");
  EXPECT_EQ(corvel->waitForExit(), 0) << corvel->transcript();
  EXPECT_TRUE(eventually([&] { return test::processesOf(root()).empty(); }));
}

// A stand-in for Corvel beside a watchdog of its own notes each start. A claim that cannot be read
// says nothing about whether Corvel runs (starting one on every check would fill the machine with
// them), and two watchdogs relaunching in the same cycle would start Corvel twice.
TEST_F(WatchdogEndToEnd, OneWatchdogServesARootAndStartsCorvelOnlyWhenItKnowsNoneRuns) {
  const fs::path folder = root() / "installed";
  fs::create_directories(folder);
  fs::copy_file(test::binFolder() / "CorvelWatchdog", folder / "CorvelWatchdog");
  sim::replaceFileAtomically(folder / "Corvel", "#!/bin/sh\necho \"$@\" >> \"$CORVEL_SIM_ROOT/starts\"\n", 0755);
  const auto starts = [&] { return sim::readFile(root() / "starts").value_or(""); };
  fs::create_directories(root() / "corvel.pid");
  ProgramProcess first(folder / "CorvelWatchdog", {}, {});
  EXPECT_FALSE(first.waitForExit(std::chrono::milliseconds(1500)));  // past the check it makes at once
  EXPECT_EQ(starts(), "");
  fs::remove(root() / "corvel.pid");
  ASSERT_TRUE(eventually([&] { return starts() != ""; }));
  ProgramProcess second(folder / "CorvelWatchdog", {}, {});
  EXPECT_EQ(second.waitForExit(std::chrono::seconds(3)), 0);
  EXPECT_TRUE(first.running());
  EXPECT_EQ(starts(), "--watchdog-launch\n");
}

}  // namespace
}  // namespace corvel
