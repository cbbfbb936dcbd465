// The simulated agent registry against a watchdog that dies and a recorded pid that is reused.
#include <csignal>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

#include "adapters/posix/process_info.h"
#include "adapters/posix/process_runner_posix.h"
#include "sim/agent_service_sim.h"
#include "sim/assertions.h"
#include "sim/sim_root.h"
#include "tests/support/corvel_process.h"
#include "tests/support/sim_root_fixture.h"

namespace corvel::sim {
namespace {
namespace fs = std::filesystem;
using test::eventually;

// The watchdog installed where no Corvel lies beside it, so it only keeps checking.
class SimAgentServiceTest : public test::SimRootTest {
 protected:
  void SetUp() override {
    SimRootTest::SetUp();
    fs::create_directories(program().parent_path());
    fs::copy_file(test::binFolder() / "CorvelWatchdog", program());
  }
  fs::path program() { return root() / "installed/CorvelWatchdog"; }
  fs::path file() { return root() / "Library/LaunchAgents/watchdog.plist"; }
  std::unique_ptr<AgentService> service() {
    return SimAgentServices(root(), program(), runner).agentServiceWithPlistName("watchdog.plist");
  }
  bool runsTheWatchdog(pid_t pid) {
    const auto command = commandLineOf(pid);
    return command && command->front() == program();
  }
  PosixProcessRunner runner;
};

// launchd keeps a KeepAlive agent running; a registration that reads "enabled" must mean a watchdog.
TEST_F(SimAgentServiceTest, ADeadWatchdogIsStartedAgainWhileRegistered) {
  auto agent = service();
  ASSERT_TRUE(agent->registerAgent());
  const pid_t first = registeredAgentPid(file());
  ASSERT_TRUE(eventually([&] { return runsTheWatchdog(first); }));
  ::kill(first, SIGKILL);
  ASSERT_TRUE(eventually([&] { return !processIsAlive(first); }));
  EXPECT_EQ(agent->status(), AgentStatus::enabled);
  const pid_t second = registeredAgentPid(file());
  EXPECT_NE(second, first);
  EXPECT_TRUE(eventually([&] { return runsTheWatchdog(second); }));
  // Registering again while it runs starts no second one.
  EXPECT_TRUE(agent->registerAgent());
  EXPECT_EQ(registeredAgentPid(file()), second);
  EXPECT_TRUE(agent->unregisterAgent());
  EXPECT_TRUE(eventually([&] { return !processIsAlive(second); }));
  EXPECT_EQ(agent->status(), AgentStatus::notRegistered);
}

// The recorded pid may since belong to any process, even to another watchdog (of another root);
// only the one started for the registration is signalled.
TEST_F(SimAgentServiceTest, UnregisteringSignalsOnlyTheWatchdogItStarted) {
  const auto startTime = [](pid_t pid) {
    const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat").value_or("");
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    for (int number = 3; number <= 22; ++number) fields >> field;
    return field;
  };
  auto other = runner.launch("/bin/sleep", {"30"});
  ASSERT_TRUE(other);
  ASSERT_TRUE(service()->registerAgent());
  const pid_t watchdog = registeredAgentPid(file());
  ASSERT_TRUE(eventually([&] { return runsTheWatchdog(watchdog); }));
  const std::pair<pid_t, std::string> cases[] = {{other->pid(), startTime(other->pid())}, {watchdog, "1"}};
  for (const auto& [pid, started] : cases) {
    SCOPED_TRACE(pid);
    replaceFileAtomically(
        file(), "program=" + program().string() + "\npid=" + std::to_string(pid) + "\nstarted=" + started + "\n");
    EXPECT_TRUE(service()->unregisterAgent());
    EXPECT_FALSE(fs::exists(file()));
    ::usleep(200000);
    EXPECT_TRUE(processIsAlive(pid));
  }
  other->terminate();
  ::kill(watchdog, SIGTERM);
}

}  // namespace
}  // namespace corvel::sim
