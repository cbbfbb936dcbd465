// Corvel's collaborators on the simulated Mac's adapters and its real tools, as real child processes.
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "adapters/posix/process_info.h"
#include "adapters/posix/process_runner_posix.h"
#include "adapters/posix/system_posix.h"
#include "main/engine/caffeinate_supervisor.h"
#include "main/remote/remote_mode.h"
#include "main/settings.h"
#include "sim/agent_service_sim.h"
#include "sim/application_sim.h"
#include "sim/assertions.h"
#include "sim/dialogs_sim.h"
#include "sim/launchd_jobs.h"
#include "sim/settings_store_sim.h"
#include "sim/sim_root.h"
#include "sim/system_sim.h"
#include "tests/support/corvel_process.h"
#include "tests/support/sim_root_fixture.h"

namespace corvel {
namespace {
namespace fs = std::filesystem;
using test::eventually;

// The simulated Mac's adapters over one sim root, with the person at the screen answering through a
// pipe (what is shown goes nowhere).
struct SimAdapters {
  SimAdapters(const fs::path& root, int answers) : root(root), frontEnd(answers, screen) {
    frontEnd.setModalTimeout(std::chrono::seconds(5));  // a forgotten answer fails, never hangs
  }
  ~SimAdapters() { ::close(screen); }
  fs::path root;
  int screen = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  sim::FrontEnd frontEnd;
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
    ASSERT_EQ(::pipe2(answers, O_CLOEXEC), 0);
    mac = std::make_unique<SimAdapters>(root(), answers[0]);
  }
  void TearDown() override {
    mac.reset();
    for (int fd : answers) ::close(fd);
    SimRootTest::TearDown();
  }
  void answer(const std::string& line) {
    const std::string text = line + "\n";
    ASSERT_EQ(::write(answers[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }
  fs::path dropIn() { return root() / "etc/sudoers.d" / sudoersDropInName(mac->environment.userName()); }

  std::size_t assertions() { return sim::liveAssertions(root()).size(); }

  int answers[2] = {-1, -1};
  std::unique_ptr<SimAdapters> mac;
  const std::string caffeinate = test::simTool("caffeinate").string();
  const std::vector<std::string> arguments{"-d", "-i", "-m", "-s"};
};

// A recorded pid may since belong to another process: only pid, start time and owner together name it.
TEST_F(OperationsTest, OnlyAProcessWithTheRecordedPidStartTimeAndOwnerIsAdopted) {
  auto child = mac->processes.launch(caffeinate, arguments);
  ASSERT_TRUE(child);
  const auto identity = child->identity();
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

// The supervisor starts the real child with exactly caffeinate's four flags, and what it records of
// it names that child again for a relaunch. The rest (a child ended from outside, a record naming
// someone else's process) is the fakes' and the adopt check's to pin.
TEST_F(OperationsTest, ASupervisorKeepsOneCaffeinateThatARelaunchTakesChargeOfAndEnds) {
  CaffeinateSupervisor supervisor(mac->processes, mac->defaults, caffeinate);
  supervisor.startCaffeinateIfNeeded();
  supervisor.startCaffeinateIfNeeded();
  ASSERT_TRUE(eventually([&] { return assertions() == 1; }));
  // The child's own argument vector, as the system shows it: the four flags and nothing else.
  EXPECT_EQ(commandLineOf(sim::liveAssertions(root()).at(0)),
            (std::vector<std::string>{caffeinate, "-d", "-i", "-m", "-s"}));
  // A relaunch takes charge of the one recorded, and ends it.
  CaffeinateSupervisor next(mac->processes, mac->defaults, caffeinate);
  next.startCaffeinateIfNeeded();
  EXPECT_TRUE(next.isCaffeinateRunning());
  next.stopCaffeinate();
  EXPECT_TRUE(eventually([&] { return !supervisor.isCaffeinateRunning() && assertions() == 0; }));
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
  EXPECT_TRUE(eventually([&] { return launchds() == 1 && !test::processesOf(root(), program).empty(); }));
  EXPECT_EQ(test::processesOf(root(), program).size(), 1u);

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

// The sleep switch works only through the permission, which is installed, probed and removed only
// as the person at the screen approves.
TEST_F(OperationsTest, SetUpAndRestorePutTheMacBackAsItWasAndLeaveThePasswordNowhere) {
  const std::string password = "Cor've\"l \\pass";
  sim::writeValue(root(), "login-password", password);
  sim::writeValue(root(), "screenlock", "300");
  EXPECT_FALSE(mac->sleepSwitch.runPrivilegedPmset(true));
  EXPECT_FALSE(mac->permission.hasLimitedPermission());
  EXPECT_TRUE(mac->permission.removeLimitedPermission());  // nothing there: nothing asked
  answer("cancel");
  EXPECT_FALSE(mac->permission.installLimitedPermission());
  EXPECT_FALSE(fs::exists(dropIn()));
  Confirmations confirmations(mac->biometrics, mac->application, mac->alerts, mac->directory, mac->environment);
  RemoteMode remoteMode(mac->alerts, mac->defaults, mac->screenLock, mac->sleepSwitch, mac->permission, confirmations);
  for (const char* line : {"設定する", password.c_str(), "続ける", "approve"}) answer(line);
  ASSERT_TRUE(remoteMode.setupRemoteMode());
  EXPECT_EQ(sim::readValue(root(), "screenlock"), "off");
  EXPECT_EQ(mac->defaults.string(keys::previousScreenLockState), "300");
  EXPECT_TRUE(mac->permission.hasLimitedPermission());
  ASSERT_TRUE(mac->sleepSwitch.runPrivilegedPmset(true) && mac->sleepSwitch.waitForSleepDisabled(true));

  for (const char* line : {"wrong", "続ける"}) answer(line);  // the caller tells of it
  EXPECT_FALSE(remoteMode.restoreRemoteSettings());
  EXPECT_EQ(sim::readValue(root(), "screenlock"), "off");
  for (const char* line : {password.c_str(), "続ける"}) answer(line);
  EXPECT_TRUE(remoteMode.restoreRemoteSettings());
  EXPECT_EQ(sim::readValue(root(), "screenlock"), "300");
  EXPECT_FALSE(mac->sleepSwitch.isSleepDisabled());
  EXPECT_FALSE(mac->defaults.boolean(keys::didDisableScreenLock));
  answer("cancel");
  EXPECT_FALSE(mac->permission.removeLimitedPermission());
  EXPECT_TRUE(fs::exists(dropIn()));
  answer("approve");
  EXPECT_TRUE(mac->permission.removeLimitedPermission());
  EXPECT_FALSE(fs::exists(dropIn()));
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
