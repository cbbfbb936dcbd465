// Corvel's collaborators on the simulated Mac's adapters and its real tools, as real child processes.
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "adapters/posix/process_runner_posix.h"
#include "adapters/posix/system_posix.h"
#include "main/engine/caffeinate_supervisor.h"
#include "main/remote/remote_mode.h"
#include "sim/application_sim.h"
#include "sim/assertions.h"
#include "sim/dialogs_sim.h"
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
  sim::SimAdministratorScript script{root, frontEnd, processes};
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
  std::size_t assertions() { return sim::liveAssertions(root()).size(); }
  fs::path dropIn() { return root() / "etc/sudoers.d" / sudoersDropInName(mac->environment.userName()); }

  int answers[2] = {-1, -1};
  std::unique_ptr<SimAdapters> mac;
};

TEST_F(OperationsTest, CaffeinateIsStartedOnceAdoptedAfterARelaunchAndStopped) {
  CaffeinateSupervisor supervisor(mac->processes, mac->defaults, mac->tools.caffeinate);
  supervisor.startCaffeinateIfNeeded();
  supervisor.startCaffeinateIfNeeded();
  ASSERT_TRUE(eventually([&] { return assertions() == 1; }));
  const pid_t first = sim::liveAssertions(root()).at(0);
  ::kill(first, SIGKILL);  // from outside
  ASSERT_TRUE(eventually([&] { return !supervisor.isCaffeinateRunning(); }));
  supervisor.startCaffeinateIfNeeded();
  ASSERT_TRUE(eventually([&] { return assertions() == 1 && sim::liveAssertions(root()).at(0) != first; }));

  CaffeinateSupervisor relaunched(mac->processes, mac->defaults, mac->tools.caffeinate);
  relaunched.startCaffeinateIfNeeded();
  EXPECT_TRUE(relaunched.isCaffeinateRunning());
  relaunched.stopCaffeinate();
  EXPECT_TRUE(eventually([&] { return assertions() == 0; }));
}

TEST_F(OperationsTest, TheSleepSwitchNeedsThePermissionWhichIsInstalledProbedAndRemoved) {
  LimitedPermission& permission = mac->permission;
  SleepSwitch& sleepSwitch = mac->sleepSwitch;
  EXPECT_FALSE(sleepSwitch.runPrivilegedPmset(true));
  EXPECT_FALSE(permission.hasLimitedPermission());
  EXPECT_TRUE(permission.removeLimitedPermission());  // nothing there: nothing asked
  answer("cancel");
  EXPECT_FALSE(permission.installLimitedPermission());
  EXPECT_FALSE(fs::exists(dropIn()));
  answer("approve");
  ASSERT_TRUE(permission.installLimitedPermission());
  EXPECT_EQ(fs::status(dropIn()).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::group_read);
  EXPECT_TRUE(fs::is_empty(root() / "private/tmp"));
  for (bool on : {true, false}) {
    EXPECT_TRUE(sleepSwitch.runPrivilegedPmset(on));
    EXPECT_TRUE(sleepSwitch.waitForSleepDisabled(on));
    EXPECT_TRUE(permission.hasLimitedPermission());
    EXPECT_EQ(sleepSwitch.isSleepDisabled(), on);
  }
  answer("cancel");
  EXPECT_FALSE(permission.removeLimitedPermission());
  EXPECT_TRUE(fs::exists(dropIn()));
  answer("approve");
  EXPECT_TRUE(permission.removeLimitedPermission());
  EXPECT_FALSE(fs::exists(dropIn()));
}

TEST_F(OperationsTest, TheScreenLockIsChangedWithThePasswordOnItsInputAndReadBack) {
  const std::string password = sim::readValue(root(), "login-password").value();
  ScreenLock& screenLock = mac->screenLock;
  EXPECT_EQ(screenLock.screenLockState(), ScreenLockState::immediate());
  for (const auto& state : {ScreenLockState::off(), ScreenLockState::delay(300), ScreenLockState::immediate()}) {
    EXPECT_TRUE(screenLock.applyScreenLockState(state, password)) << describe(state);
    EXPECT_EQ(screenLock.screenLockState(), state);
  }
  EXPECT_FALSE(screenLock.applyScreenLockState(ScreenLockState::off(), password + "x"));
  EXPECT_EQ(sim::readValue(root(), "sysadminctl-calls").value_or("").find("-password <redacted>"), std::string::npos);
}

TEST_F(OperationsTest, SetUpAndRestorePutTheMacBackAsItWasAndLeaveThePasswordNowhere) {
  const std::string password = "Cor've\"l \\pass";
  sim::writeValue(root(), "login-password", password);
  sim::writeValue(root(), "screenlock", "300");
  Confirmations confirmations(mac->biometrics, mac->application, mac->alerts, mac->directory, mac->environment);
  RemoteMode remoteMode(mac->alerts, mac->defaults, mac->screenLock, mac->sleepSwitch, mac->permission, confirmations);
  for (const char* line : {"設定する", password.c_str(), "続ける", "approve"}) answer(line);
  ASSERT_TRUE(remoteMode.setupRemoteMode());
  EXPECT_EQ(sim::readValue(root(), "screenlock"), "off");
  EXPECT_EQ(mac->defaults.string(keys::previousScreenLockState), "300");
  ASSERT_TRUE(mac->sleepSwitch.runPrivilegedPmset(true));

  for (const char* line : {"wrong", "続ける", "OK"}) answer(line);
  EXPECT_FALSE(remoteMode.restoreRemoteSettings());
  EXPECT_EQ(sim::readValue(root(), "screenlock"), "off");
  for (const char* line : {password.c_str(), "続ける"}) answer(line);
  EXPECT_TRUE(remoteMode.restoreRemoteSettings());
  EXPECT_EQ(sim::readValue(root(), "screenlock"), "300");
  EXPECT_EQ(sim::readValue(root(), "disablesleep"), "0");
  EXPECT_FALSE(mac->defaults.boolean(keys::didDisableScreenLock));
  for (const auto& entry : fs::recursive_directory_iterator(root())) {
    if (!entry.is_regular_file() || entry.path() == root() / "mac/login-password") continue;
    EXPECT_EQ(sim::readFile(entry.path()).value_or("").find(password), std::string::npos) << entry.path();
  }
}

}  // namespace
}  // namespace corvel
