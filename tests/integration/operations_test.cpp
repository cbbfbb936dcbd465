// Corvel's operations against the simulated Mac's real tools: the caffeinate supervisor, the sleep
// switch, the screen lock, the limited permission, and the set-up and restore flows.
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include "main/app_delegate.h"
#include "main/remote/limited_permission.h"
#include "sim/assertions.h"
#include "sim/sim_root.h"
#include "tests/support/corvel_process.h"
#include "tests/support/sim_mac_platform.h"

namespace corvel {
namespace {
namespace fs = std::filesystem;
using test::eventually;

class OperationsTest : public test::SimRootTest {
 protected:
  void SetUp() override {
    test::SimRootTest::SetUp();
    mac = std::make_unique<test::SimMacPlatform>(root());
    delegate = std::make_shared<AppDelegate>(mac->platform);
  }
  void TearDown() override {
    delegate.reset();
    mac.reset();
    for (pid_t pid : sim::liveAssertions(root())) ::kill(pid, SIGTERM);
    test::SimRootTest::TearDown();
  }
  std::size_t assertions() { return sim::liveAssertions(root()).size(); }
  fs::path dropIn() { return root() / "etc/sudoers.d" / sudoersDropInName(mac->environment.userName()); }
  void installRule() {
    mac->answer("approve");
    ASSERT_TRUE(delegate->installLimitedPermission()) << mac->shown();
  }
  std::unique_ptr<test::SimMacPlatform> mac;
  std::shared_ptr<AppDelegate> delegate;
};

// ---- caffeinate ----

TEST_F(OperationsTest, CaffeinateSupervisorLifecycle) {
  delegate->startCaffeinateIfNeeded();
  delegate->startCaffeinateIfNeeded();
  ASSERT_TRUE(eventually([&] { return assertions() == 1; }));  // two starts, one child
  const pid_t first = sim::liveAssertions(root()).at(0);

  ::kill(first, SIGKILL);  // from outside
  ASSERT_TRUE(eventually([&] { return !delegate->isCaffeinateRunning(); }));
  delegate->startCaffeinateIfNeeded();
  ASSERT_TRUE(eventually([&] { return assertions() == 1; }));
  EXPECT_NE(sim::liveAssertions(root()).at(0), first);

  delegate->stopCaffeinate();
  EXPECT_TRUE(eventually([&] { return assertions() == 0; }));
  delegate->stopCaffeinate();  // without a child: nothing to do
  // A start right after a stop makes a fresh child at once.
  delegate->startCaffeinateIfNeeded();
  delegate->stopCaffeinate();
  delegate->startCaffeinateIfNeeded();
  EXPECT_TRUE(eventually([&] { return assertions() == 1; }));
  delegate->stopCaffeinate();
}

TEST_F(OperationsTest, TheChildsOutputNeverReachesCorvelsStreams) {
  int out[2];
  ASSERT_EQ(::pipe(out), 0);
  const pid_t runner = ::fork();
  if (runner == 0) {
    ::dup2(out[1], 1);
    ::dup2(out[1], 2);
    mac->platform.tools.caffeinate = test::testHelper("chatty_child");
    AppDelegate inChild(mac->platform);
    inChild.startCaffeinateIfNeeded();
    ::usleep(300000);  // long enough for the child to have written
    const bool running = inChild.isCaffeinateRunning();
    inChild.stopCaffeinate();
    ::_exit(running ? 0 : 3);
  }
  ::close(out[1]);
  std::string written;
  char buffer[256];
  for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) written.append(buffer, static_cast<std::size_t>(n));
  int status = 0;
  ::waitpid(runner, &status, 0);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(written, "");
  ::close(out[0]);
}

// ---- the sleep switch and the permission ----

TEST_F(OperationsTest, SleepSwitchNeedsThePermissionAndReadsBack) {
  EXPECT_FALSE(delegate->isSleepDisabled());
  EXPECT_FALSE(delegate->runPrivilegedPmset(true));  // no rule: refused at once, nothing asked
  EXPECT_FALSE(delegate->hasLimitedPermission());
  EXPECT_EQ(sim::readValue(root(), "disablesleep"), std::nullopt);  // the probe changed nothing
  installRule();
  EXPECT_TRUE(fs::exists(dropIn()));
  for (bool on : {true, false, true}) {
    EXPECT_TRUE(delegate->runPrivilegedPmset(on));
    EXPECT_TRUE(delegate->waitForSleepDisabled(on));
    EXPECT_EQ(delegate->isSleepDisabled(), on);
    // The probe re-sets the value it finds.
    EXPECT_TRUE(delegate->hasLimitedPermission());
    EXPECT_EQ(delegate->isSleepDisabled(), on);
  }
  EXPECT_EQ(mac->shown().find("Touch ID"), std::string::npos);
}

TEST_F(OperationsTest, InstallProbeAndRemoveAcrossTheirOutcomes) {
  // Cancelled approval: nothing installed.
  mac->answer("cancel");
  EXPECT_FALSE(delegate->installLimitedPermission());
  EXPECT_FALSE(fs::exists(dropIn()));
  // Removing without a file succeeds without asking.
  const std::string before = mac->shown();
  EXPECT_TRUE(delegate->removeLimitedPermission());
  EXPECT_EQ(mac->shown(), before);
  // Installed and working; the private folder is gone afterwards.
  installRule();
  EXPECT_EQ(fs::status(dropIn()).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::group_read);
  EXPECT_TRUE(fs::is_empty(root() / "private/tmp"));
  // Removal refused: the file stays.
  mac->answer("cancel");
  EXPECT_FALSE(delegate->removeLimitedPermission());
  EXPECT_TRUE(fs::exists(dropIn()));
  mac->answer("approve");
  EXPECT_TRUE(delegate->removeLimitedPermission());
  EXPECT_FALSE(fs::exists(dropIn()));
  EXPECT_FALSE(delegate->hasLimitedPermission());
}

TEST_F(OperationsTest, AFileThatLandsButDoesNotWorkCountsAsNotInstalled) {
  // A drop-in sudo skips (a name with a dot) holds a rule that would otherwise grant.
  const auto rule = *limitedSudoersRule(mac->environment.userName());
  std::ofstream(root() / "etc/sudoers.d/corvel.skipped") << rule << "\n";
  fs::permissions(root() / "etc/sudoers.d/corvel.skipped", fs::perms::owner_read | fs::perms::group_read);
  EXPECT_FALSE(delegate->hasLimitedPermission());
  // A broken drop-in makes sudo refuse everything, so even a good install does not count.
  std::ofstream(root() / "etc/sudoers.d/broken") << "this is not sudoers\n";
  fs::permissions(root() / "etc/sudoers.d/broken", fs::perms::owner_read | fs::perms::group_read);
  mac->answer("approve");
  EXPECT_FALSE(delegate->installLimitedPermission());
  EXPECT_TRUE(fs::exists(dropIn()));  // the file stays, as the shell steps succeeded
}

// ---- the screen lock ----

TEST_F(OperationsTest, ApplyScreenLockReadsBack) {
  const std::string password = sim::readValue(root(), "login-password").value();
  EXPECT_EQ(delegate->screenLockState(), ScreenLockState::immediate());
  for (const auto& state : {ScreenLockState::off(), ScreenLockState::delay(300), ScreenLockState::immediate()}) {
    EXPECT_TRUE(delegate->applyScreenLockState(state, password)) << describe(state);
    EXPECT_EQ(delegate->screenLockState(), state);
  }
  EXPECT_FALSE(delegate->applyScreenLockState(ScreenLockState::off(), password + "x"));
  EXPECT_EQ(delegate->screenLockState(), ScreenLockState::immediate());
  // Asked for unknown, the tool is given "immediate", which never reads back as unknown.
  EXPECT_FALSE(delegate->applyScreenLockState(ScreenLockState::unknown(), password));
}

// ---- set-up and restore ----

class RemoteFlowsTest : public OperationsTest {
 protected:
  const std::string password = "Cor've\"l \\pass";
  void SetUp() override {
    OperationsTest::SetUp();
    sim::writeValue(root(), "login-password", password);
  }
  void setUp() {
    const bool install = !fs::exists(dropIn());
    mac->answer("設定する");
    mac->answer(password);
    mac->answer("続ける");
    if (install) mac->answer("approve");
    ASSERT_TRUE(delegate->setupRemoteMode()) << mac->shown();
  }
  // No file under the root but the one that defines it holds the password.
  void expectPasswordNowhere() {
    for (const auto& entry : fs::recursive_directory_iterator(root())) {
      if (!entry.is_regular_file() || entry.path() == root() / "mac/login-password") continue;
      const auto text = sim::readFile(entry.path()).value_or("");
      EXPECT_EQ(text.find(password), std::string::npos) << entry.path();
    }
    EXPECT_EQ(mac->shown().find(password), std::string::npos);
  }
};

TEST_F(RemoteFlowsTest, SetUpAndRestoreFromImmediateAndFromADelay) {
  for (const char* before : {"immediate", "300"}) {
    sim::writeValue(root(), "screenlock", before);
    setUp();
    EXPECT_EQ(sim::readValue(root(), "screenlock"), "off") << before;
    EXPECT_EQ(mac->defaults.string("PreviousScreenLockState"), before);
    EXPECT_TRUE(mac->defaults.boolean("DidDisableScreenLock"));
    EXPECT_TRUE(delegate->runPrivilegedPmset(true));

    mac->answer(password);
    mac->answer("続ける");
    EXPECT_TRUE(delegate->restoreRemoteSettings()) << mac->shown();
    EXPECT_EQ(sim::readValue(root(), "screenlock"), before);
    EXPECT_EQ(sim::readValue(root(), "disablesleep"), "0");
    EXPECT_EQ(mac->defaults.string("PreviousScreenLockState"), std::nullopt);
    EXPECT_FALSE(mac->defaults.boolean("DidDisableScreenLock"));
  }
  expectPasswordNowhere();
  // The tool was always given the password on its input, never in its arguments.
  const auto calls = sim::readValue(root(), "sysadminctl-calls").value_or("");
  EXPECT_NE(calls.find("-screenLock off -password -"), std::string::npos) << calls;
}

TEST_F(RemoteFlowsTest, RestoreWithAWrongPasswordLeavesTheLockOffAndTheKeys) {
  setUp();
  mac->answer("wrong");
  mac->answer("続ける");
  mac->answer("OK");
  EXPECT_FALSE(delegate->restoreRemoteSettings());
  EXPECT_NE(mac->shown().find("設定を戻せませんでした"), std::string::npos);
  EXPECT_EQ(sim::readValue(root(), "screenlock"), "off");
  EXPECT_EQ(mac->defaults.string("PreviousScreenLockState"), "immediate");
  EXPECT_TRUE(mac->defaults.boolean("DidDisableScreenLock"));
  expectPasswordNowhere();
}

// A directory that accepts the password, after which the tool refuses it: the password is changed
// on the machine between the check and the change.
class PasswordChangedMeanwhile final : public Directory {
 public:
  PasswordChangedMeanwhile(Directory& real, fs::path root) : real_(real), root_(std::move(root)) {}
  bool verifyPassword(const std::string& user, const std::string& password) override {
    const bool accepted = real_.verifyPassword(user, password);
    sim::writeValue(root_, "login-password", "changed-meanwhile");
    return accepted;
  }

 private:
  Directory& real_;
  fs::path root_;
};

TEST_F(RemoteFlowsTest, AFailedLockChangeTakesBackOnlyThePermissionItInstalled) {
  for (bool permissionBefore : {false, true}) {
    sim::writeValue(root(), "login-password", password);
    if (permissionBefore) installRule();
    PasswordChangedMeanwhile directory(mac->directory, root());
    Platform platform = mac->platform;
    Platform withDirectory{platform.defaults, platform.application, platform.processes, platform.clock,
                           platform.environment, platform.files, platform.statusBar, platform.administratorScript,
                           platform.session, platform.alerts, platform.biometrics, directory, platform.dockTile,
                           platform.agents, platform.tools};
    AppDelegate flow(withDirectory);
    mac->answer("設定する");
    mac->answer(password);
    mac->answer("続ける");
    if (!permissionBefore) {
      mac->answer("approve");  // the installation
      mac->answer("approve");  // its removal after the failure
    }
    mac->answer("OK");
    EXPECT_FALSE(flow.setupRemoteMode()) << mac->shown();
    EXPECT_NE(mac->shown().find("ロック防止を設定できませんでした"), std::string::npos);
    EXPECT_EQ(fs::exists(dropIn()), permissionBefore) << permissionBefore;
    EXPECT_EQ(sim::readValue(root(), "screenlock"), "immediate");
    EXPECT_EQ(mac->defaults.string("PreviousScreenLockState"), std::nullopt);
    EXPECT_FALSE(mac->defaults.boolean("DidDisableScreenLock"));
  }
}

TEST_F(RemoteFlowsTest, SwitchingInRemoteStrongAsksTouchIDOnTheEventLoop) {
  setUp();
  delegate->setMode(ProtectionMode::remoteStrong);
  mac->answer("touch");
  EXPECT_TRUE(delegate->setProtection(true)) << mac->shown();
  EXPECT_EQ(sim::readValue(root(), "disablesleep"), "1");
  EXPECT_TRUE(eventually([&] { return assertions() == 1; }));
  mac->answer("wrong-finger");
  mac->answer("OK");
  EXPECT_FALSE(delegate->setProtection(false));
  EXPECT_NE(mac->shown().find("Touch IDで認証できませんでした"), std::string::npos);
  EXPECT_EQ(sim::readValue(root(), "disablesleep"), "1");
  sim::writeValue(root(), "touchid", "unavailable");
  mac->answer("OK");
  EXPECT_FALSE(delegate->setProtection(false));
  EXPECT_NE(mac->shown().find("Touch IDを使用できません"), std::string::npos);
  sim::writeValue(root(), "touchid", "available");
  mac->answer("キャンセル");
  mac->answer("OK");
  EXPECT_FALSE(delegate->setProtection(false));
  mac->answer("touch");
  EXPECT_TRUE(delegate->setProtection(false));
  EXPECT_EQ(sim::readValue(root(), "disablesleep"), "0");
  EXPECT_TRUE(eventually([&] { return assertions() == 0; }));
}

}  // namespace
}  // namespace corvel
