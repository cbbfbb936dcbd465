// Corvel's collaborators on the simulated Mac's adapters and its real tools, as real child processes.
#include <csignal>
#include <fcntl.h>

#include "adapters/posix/process_runner_posix.h"
#include "adapters/posix/system_posix.h"
#include "main/remote/remote_mode.h"
#include "sim/agent_service_sim.h"
#include "sim/application_sim.h"
#include "sim/dialogs_sim.h"
#include "sim/launchd_jobs.h"
#include "sim/settings_store_sim.h"
#include "sim/sim_root.h"
#include "sim/system_sim.h"
#include "tests/support/sim_root_fixture.h"

namespace corvel {
namespace {
namespace fs = std::filesystem;
using test::eventually;

// The simulated Mac's adapters over one sim root, with the person at the screen answering through a
// pipe (what is shown goes nowhere).
struct SimAdapters {
  explicit SimAdapters(const fs::path& root) : root(root) {
    frontEnd.setModalTimeout(std::chrono::seconds(5));  // a forgotten answer fails, never hangs
  }
  ~SimAdapters() { ::close(screen), ::close(answers[0]), ::close(answers[1]); }
  fs::path root;
  int answers[2] = {-1, -1};  // made first; the person's answers are written to answers[1]
  int screen = ::pipe2(answers, O_CLOEXEC) == 0 ? ::open("/dev/null", O_WRONLY | O_CLOEXEC) : -1;
  sim::FrontEnd frontEnd{answers[0], screen};
  PosixProcessRunner processes;
  PosixClock clock;
  PosixProcessEnvironment environment{{"Corvel"}};
  PosixFileSystem realFiles;
  sim::SimFileSystem files{root, realFiles};
  sim::JsonSettingsStore defaults{root, "app.corvel.Corvel"};
  sim::SimSession session{root};
  sim::SimAdministratorScript script{root, frontEnd, processes, test::simTool("pmset")};
  sim::SimAlerts alerts{frontEnd};
  sim::SimBiometrics biometrics{root, frontEnd};
  sim::SimDirectory directory{root};
  sim::SimApplication application;
  ToolPaths tools{test::simTool("caffeinate"), test::simTool("sudo"), test::simTool("pmset"),
                  test::simTool("sysadminctl")};
  SleepSwitch sleepSwitch{processes, clock, tools};
  ScreenLock screenLock{processes, session, tools};
  LimitedPermission permission{script, environment, files, sleepSwitch};
};

class OperationsTest : public test::SimRootTest {
 protected:
  void SetUp() override {
    SimRootTest::SetUp();
    mac = std::make_unique<SimAdapters>(root());
  }
  void answer(const std::string& line) {
    ASSERT_EQ(::dprintf(mac->answers[1], "%s\n", line.c_str()), static_cast<int>(line.size() + 1));
  }

  std::unique_ptr<SimAdapters> mac;
  const std::string caffeinate = test::simTool("caffeinate").string();
  const std::vector<std::string> arguments{"-d", "-i", "-m", "-s"};
};

// A recorded pid may since belong to another process: only pid, start time and owner together name it.
TEST_F(OperationsTest, OnlyAProcessWithTheRecordedPidStartTimeAndOwnerIsAdopted) {
  auto child = mac->processes.launch(caffeinate, arguments);
  const auto identity = child ? child->identity() : std::nullopt;
  ASSERT_TRUE(identity);
  EXPECT_EQ(identity->owner, ::getuid());
  const auto adopts = [&](ProcessIdentity recorded, const std::vector<std::string>& runs) {
    return mac->processes.adopt(recorded, caffeinate, runs) != nullptr;
  };
  // The system shows the new command line only once the child's start is complete.
  ASSERT_TRUE(eventually([&] { return adopts(*identity, arguments); }));
  EXPECT_FALSE(adopts({identity->pid, identity->startTime + 1, identity->owner}, arguments));
  EXPECT_FALSE(adopts({identity->pid, identity->startTime, identity->owner + 1}, arguments));
  EXPECT_FALSE(adopts(*identity, {"-d", "-i"}));
  auto adopted = mac->processes.adopt(*identity, caffeinate, arguments);
  ASSERT_TRUE(adopted);
  child->terminate();
  EXPECT_TRUE(eventually([&] { return !child->isRunning(); }));
  EXPECT_FALSE(adopted->isRunning());
  EXPECT_FALSE(adopts(*identity, arguments));
}

// Asking the registry is only a question; the launchd a registration starts keeps one watchdog,
// however often it is registered, comes back with the session, and ends with the registration.
// The recorded pid may since belong to any process: only the agent of the job is ever signalled.
TEST_F(OperationsTest, ARegisteredAgentRunsUnderOneLaunchdThatEndsWithItsRegistration) {
  const fs::path program = root() / "installed/CorvelWatchdog";
  fs::create_directories(program.parent_path());
  // Where no Corvel lies beside it, the watchdog only keeps checking.
  fs::copy_file(test::binFolder() / "CorvelWatchdog", program);
  sim::SimAgentServices services(root(), program, mac->processes);
  const auto agent = [&] { return services.agentServiceWithPlistName("w.plist"); };
  const auto watchdog = [&] { return sim::runningAgent(root(), "w.plist", program).value_or(0); };
  const auto launchds = [&] { return test::processesOf(root(), test::simTool("launchd")).size(); };
  EXPECT_EQ(agent()->status(), AgentStatus::notRegistered);
  EXPECT_FALSE(agent()->unregisterAgent());
  ASSERT_TRUE(agent()->registerAgent());
  ASSERT_TRUE(eventually([&] { return watchdog() > 0; }));
  EXPECT_TRUE(agent()->registerAgent());
  EXPECT_EQ(agent()->status(), AgentStatus::enabled);
  EXPECT_TRUE(eventually([&] { return launchds() == 1 && test::processesOf(root(), program).size() == 1; }));

  for (const pid_t pid : test::processesOf(root())) ::kill(pid, SIGKILL);
  ASSERT_TRUE(eventually([&] { return test::processesOf(root()).empty(); }));
  EXPECT_EQ(agent()->status(), AgentStatus::enabled);
  EXPECT_FALSE(eventually([&] { return watchdog() > 0; }, std::chrono::milliseconds(500)));
  services.startRegisteredAgents();
  services.startRegisteredAgents();
  ASSERT_TRUE(eventually([&] { return watchdog() > 0 && launchds() == 1; }));

  auto other = mac->processes.launch("/bin/sleep", {"30"});
  ASSERT_TRUE(other);
  sim::replaceFileAtomically(sim::jobFile(root(), "w.plist"),
                             "program=" + program.string() + "\npid=" + std::to_string(other->pid()) +
                                 "\nstarted=" + std::to_string(other->identity()->startTime) + "\n");
  EXPECT_TRUE(agent()->unregisterAgent());
  EXPECT_EQ(agent()->status(), AgentStatus::notRegistered);
  EXPECT_TRUE(eventually([&] { return launchds() == 0 && test::processesOf(root(), program).empty(); }));
  EXPECT_TRUE(other->isRunning());
  other->terminate();
}

// Set-up and restore through the simulated Mac's own dialogs and tools: the sleep switch works
// through the permission they install, the lock comes back only with the right password, and the
// password is left nowhere. What the flows decide, and what they store, is the unit tests' to pin;
// a cancelled approval the administrator script's checks'.
TEST_F(OperationsTest, SetUpAndRestorePutTheMacBackAsItWasAndLeaveThePasswordNowhere) {
  const std::string password = "Cor've\"l \\pass";
  sim::writeValue(root(), "login-password", password);
  sim::writeValue(root(), "screenlock", "300");
  EXPECT_FALSE(mac->permission.hasLimitedPermission());
  Confirmations confirmations(mac->biometrics, mac->application, mac->alerts, mac->directory, mac->environment);
  RemoteMode remoteMode(mac->alerts, mac->defaults, mac->screenLock, mac->sleepSwitch, mac->permission, confirmations);
  for (const char* line : {"設定する", password.c_str(), "続ける", "approve"}) answer(line);
  ASSERT_TRUE(remoteMode.setupRemoteMode());
  EXPECT_EQ(sim::readValue(root(), "screenlock"), "off");
  ASSERT_TRUE(mac->sleepSwitch.runPrivilegedPmset(true) && mac->sleepSwitch.waitForSleepDisabled(true));

  for (const char* line : {"wrong", "続ける"}) answer(line);  // the caller tells of it
  EXPECT_FALSE(remoteMode.restoreRemoteSettings());
  EXPECT_EQ(sim::readValue(root(), "screenlock"), "off");
  for (const char* line : {password.c_str(), "続ける"}) answer(line);
  EXPECT_TRUE(remoteMode.restoreRemoteSettings());
  EXPECT_EQ(sim::readValue(root(), "screenlock"), "300");
  // Handed over on standard input, the password never shows in the process list.
  EXPECT_EQ(sim::readValue(root(), "sysadminctl-calls").value_or("").find("<redacted>"), std::string::npos);
  for (const auto& entry : fs::recursive_directory_iterator(root())) {
    if (!entry.is_regular_file() || entry.path() == root() / "mac/login-password") continue;
    EXPECT_EQ(sim::readFile(entry.path()).value_or("").find(password), std::string::npos) << entry.path();
  }
}

// Without the rule, sleep is allowed with one approval, through the simulated Mac's own pmset; the
// person's cancel is told apart from a failure, which is reported.
TEST_F(OperationsTest, AllowingSleepWithApprovalRunsTheMacsOwnPmsetAndTellsACancelApart) {
  sim::writeValue(root(), "disablesleep", "1");
  ASSERT_TRUE(mac->sleepSwitch.isSleepDisabled());
  answer("cancel");
  EXPECT_EQ(mac->permission.allowSleepWithApproval(), AdministratorScriptOutcome::cancelled);
  EXPECT_TRUE(mac->sleepSwitch.isSleepDisabled());
  answer("approve");
  EXPECT_EQ(mac->permission.allowSleepWithApproval(), AdministratorScriptOutcome::succeeded);
  EXPECT_FALSE(mac->sleepSwitch.isSleepDisabled());
}

}  // namespace
}  // namespace corvel
