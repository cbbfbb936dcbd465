// The simulated Mac's caffeinate, pmset, sudo and sysadminctl, run as real child processes.
#include <chrono>
#include <csignal>
#include <functional>
#include <fcntl.h>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <optional>
#include <pwd.h>
#include <regex>
#include <spawn.h>
#include <sstream>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "platform/posix/process_runner_posix.h"
#include "platform/sim/assertions.h"
#include "platform/sim/sim_root.h"
#include "tests/support/sim_root_fixture.h"

extern char** environ;

namespace corvel {
namespace {
namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Args = std::vector<std::string>;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

void expectResult(const ProcessResult& result, int exitCode, const std::string& output) {
  EXPECT_EQ(result.exitCode, exitCode);
  EXPECT_EQ(result.output, output);
}

std::string joined(const Args& args) {
  std::string out;
  for (const auto& arg : args) out += (out.empty() ? "" : " ") + arg;
  return out;
}

ProcessResult runTool(const std::string& tool, const Args& args, const std::optional<std::string>& input = {}) {
  PosixProcessRunner runner;
  const std::string path = test::simTool(tool).string();
  return input ? runner.runWithInput(path, args, *input) : runner.run(path, args);
}

// Runs the tool through `wrapper`: env(1) to change the environment, or sh -c with one of the
// scripts below to keep a single output stream.
ProcessResult runWrapped(const std::string& wrapper, Args wrapperArgs, const std::string& tool, const Args& args) {
  wrapperArgs.push_back(test::simTool(tool).string());
  wrapperArgs.insert(wrapperArgs.end(), args.begin(), args.end());
  return PosixProcessRunner().run(wrapper, wrapperArgs);
}
const Args StandardErrorOnly = {"-c", "exec \"$0\" \"$@\" 2>&1 >/dev/null"};
const Args StandardOutputOnly = {"-c", "exec \"$0\" \"$@\" 2>/dev/null"};
const Args AsRoot = {"CORVEL_SIM_PRIVILEGED=1"};

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit = 5s) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

// A child started directly, so that a test sees how it ended and can hand it a standard input it
// holds open. Output goes to the null device. Killed and reaped on destruction if still there.
class Child {
 public:
  Child(const std::string& path, Args args, int input = -1) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (input >= 0) posix_spawn_file_actions_adddup2(&actions, input, STDIN_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    args.insert(args.begin(), path);
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    EXPECT_EQ(::posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Child() {
    if (!status_ && pid_ > 0 && ::kill(pid_, SIGKILL) == 0) ::waitpid(pid_, nullptr, 0);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t pid() const { return pid_; }
  // The raw wait status, once it has ended within `limit`.
  std::optional<int> wait(std::chrono::milliseconds limit = 5s) {
    waitUntil([&] {
      int status = 0;
      if (!status_ && ::waitpid(pid_, &status, WNOHANG) == pid_) status_ = status;
      return status_.has_value();
    }, limit);
    return status_;
  }

 private:
  pid_t pid_ = -1;
  std::optional<int> status_;
};

// --- caffeinate ------------------------------------------------------------------------------

class SimToolCaffeinate : public test::SimRootTest {
 protected:
  fs::path assertion(pid_t pid) { return sim::assertionFile(root(), pid); }
  bool noAssertions() { return fs::is_empty(root() / "mac" / "assertions"); }
};

TEST_F(SimToolCaffeinate, HoldsItsAssertionWhileAliveAndReleasesItOnEachEndingSignal) {
  const struct {
    Args args;
    const char* held;
    int signal;
  } cases[] = {{{}, "-i", SIGTERM},
               {{"-d"}, "-d", SIGINT},
               {{"-dims"}, "-d -i -m -s", SIGHUP},
               {{"-s", "-t", "600", "-d"}, "-d -s", SIGTERM}};
  for (const auto& c : cases) {
    SCOPED_TRACE(joined(c.args));
    Child caffeinate(test::simTool("caffeinate"), c.args);
    ASSERT_TRUE(waitUntil([&] { return fs::exists(assertion(caffeinate.pid())); }));
    EXPECT_EQ(sim::readFile(assertion(caffeinate.pid())), std::string(c.held) + "\n");
    EXPECT_EQ(sim::liveAssertions(root()), std::vector<pid_t>{caffeinate.pid()});
    ::kill(caffeinate.pid(), c.signal);
    const auto status = caffeinate.wait();
    ASSERT_TRUE(status);
    // It dies of the signal after cleaning up, as the real tool would die of it.
    EXPECT_TRUE(WIFSIGNALED(*status) && WTERMSIG(*status) == c.signal);
    EXPECT_TRUE(noAssertions());
  }
}

TEST_F(SimToolCaffeinate, AKilledHolderIsNotCountedEvenBeforeItIsReaped) {
  Child killed(test::simTool("caffeinate"), {"-i"});
  Child living(test::simTool("caffeinate"), {"-d"});
  ASSERT_TRUE(waitUntil([&] { return fs::exists(assertion(killed.pid())) && fs::exists(assertion(living.pid())); }));
  ::kill(killed.pid(), SIGKILL);
  // Unreaped, it lingers as a zombie that kill(pid, 0) still finds.
  ASSERT_TRUE(waitUntil([&] { return !sim::processIsAlive(killed.pid()); }));
  EXPECT_EQ(sim::liveAssertions(root()), std::vector<pid_t>{living.pid()});
  EXPECT_FALSE(fs::exists(assertion(killed.pid())));
  EXPECT_TRUE(fs::exists(assertion(living.pid())));
}

TEST_F(SimToolCaffeinate, EndsSilentlyAfterItsTimeoutOrWithItsUtility) {
  const struct {
    Args args;
    int exitCode;
    std::chrono::milliseconds atLeast;
  } cases[] = {{{"-t", "1"}, 0, 900ms},
               {{"-i", "/bin/sh", "-c", "sleep 0.3; exit 3"}, 3, 250ms},
               // With a utility -t and -w are ignored, as the manual says.
               {{"-t", "600", "-w", "1", "/bin/sh", "-c", "exit 0"}, 0, 0ms}};
  for (const auto& c : cases) {
    SCOPED_TRACE(joined(c.args));
    const auto start = std::chrono::steady_clock::now();
    expectResult(runTool("caffeinate", c.args), c.exitCode, "");
    EXPECT_GE(std::chrono::steady_clock::now() - start, c.atLeast);
    EXPECT_TRUE(noAssertions());
  }
}

TEST_F(SimToolCaffeinate, EndsWhenTheWatchedProcessEnds) {
  Child sleeper("/bin/sleep", {"600"});
  Child caffeinate(test::simTool("caffeinate"), {"-w", std::to_string(sleeper.pid())});
  ASSERT_TRUE(waitUntil([&] { return fs::exists(assertion(caffeinate.pid())); }));
  EXPECT_FALSE(caffeinate.wait(300ms));
  ::kill(sleeper.pid(), SIGKILL);  // left unreaped: ended is ended
  const auto status = caffeinate.wait();
  EXPECT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
  EXPECT_TRUE(noAssertions());
  ASSERT_TRUE(sleeper.wait());
  expectResult(runTool("caffeinate", {"-w", std::to_string(sleeper.pid())}), 0, "");  // gone already
}

TEST_F(SimToolCaffeinate, BlocksRatherThanSpinning) {
  Child caffeinate(test::simTool("caffeinate"), {"-d", "-t", "600"});
  ASSERT_TRUE(waitUntil([&] { return fs::exists(assertion(caffeinate.pid())); }));
  std::this_thread::sleep_for(500ms);
  const auto stat = sim::readFile(fs::path("/proc") / std::to_string(caffeinate.pid()) / "stat");
  ASSERT_TRUE(stat);
  std::istringstream fields(stat->substr(stat->rfind(')') + 2));
  std::string field;
  long ticks = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i >= 14) ticks += std::stol(field);  // user and system time
  }
  EXPECT_LT(ticks, 10);
}

TEST_F(SimToolCaffeinate, RejectsUnknownFlagsAndBadValues) {
  const Args cases[] = {{"-x"}, {"-d", "-q"}, {"-t"}, {"-w"}, {"-t", "soon"}, {"-t", "-5"}, {"-w", "0"}};
  for (const auto& args : cases) {
    SCOPED_TRACE(joined(args));
    const auto result = runWrapped("/bin/sh", StandardErrorOnly, "caffeinate", args);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_THAT(result.output, HasSubstr("usage: caffeinate [-disu] [-t timeout] [-w pid] [utility arguments...]\n"));
    EXPECT_TRUE(noAssertions());
  }
}

// --- pmset -----------------------------------------------------------------------------------

class SimToolPmset : public test::SimRootTest {};

TEST_F(SimToolPmset, ANewMacPrintsNoSleepDisabledLine) {
  const auto result = runWrapped("/bin/sh", StandardOutputOnly, "pmset", {"-g"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_THAT(result.output, StartsWith("System-wide power settings:\nCurrently in use:\n"));
  for (const char* line : {"\n standby              1\n", "\n sleep                1\n", "\n displaysleep         10\n"}) {
    EXPECT_THAT(result.output, HasSubstr(line));
  }
  EXPECT_THAT(result.output, Not(HasSubstr("SleepDisabled")));
}

TEST_F(SimToolPmset, ShowsTheValueSetAsRoot) {
  for (const char* value : {"1", "0", "1"}) {
    SCOPED_TRACE(value);
    expectResult(runWrapped("/usr/bin/env", AsRoot, "pmset", {"-a", "disablesleep", value}), 0, "");
    EXPECT_EQ(macValue("disablesleep"), value);
    EXPECT_THAT(runTool("pmset", {"-g"}).output,
                StartsWith(std::string("System-wide power settings:\n SleepDisabled\t\t") + value + "\nCurrently in use:\n"));
  }
}

TEST_F(SimToolPmset, RefusesToChangeAnythingWithoutRootOrInAnotherForm) {
  setMacValue("disablesleep", "0");
  const struct {
    Args environment;
    Args args;
    const char* complaint;
  } cases[] = {
      {{"-u", "CORVEL_SIM_PRIVILEGED"}, {"-a", "disablesleep", "1"}, "'/usr/bin/pmset' must be run as root"},
      {{"CORVEL_SIM_PRIVILEGED=0"}, {"-a", "disablesleep", "1"}, "must be run as root"},
      {{"CORVEL_SIM_PRIVILEGED=1 "}, {"-a", "disablesleep", "1"}, "must be run as root"},
      {AsRoot, {}, "Usage: pmset"},
      {AsRoot, {"-g", "batt"}, "Usage: pmset"},
      {AsRoot, {"-a", "disablesleep", "2"}, "Usage: pmset"},
      {AsRoot, {"-a", "disablesleep", "1", "more"}, "Usage: pmset"},
      {AsRoot, {"disablesleep", "1"}, "Usage: pmset"},
      {AsRoot, {"-a", "sleep", "1"}, "Usage: pmset"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(joined(c.environment) + " " + joined(c.args));
    const auto result = runWrapped("/usr/bin/env", c.environment, "pmset", c.args);
    EXPECT_NE(result.exitCode, 0);
    EXPECT_THAT(result.output, HasSubstr(c.complaint));
    EXPECT_EQ(macValue("disablesleep"), "0");
  }
}

TEST_F(SimToolPmset, ReportsLiveCaffeinateAssertions) {
  auto caffeinate = std::make_unique<Child>(test::simTool("caffeinate"), Args{"-d"});
  ASSERT_TRUE(waitUntil([&] { return fs::exists(sim::assertionFile(root(), caffeinate->pid())); }));
  const std::string owner = "pid " + std::to_string(caffeinate->pid()) + "(caffeinate): PreventUserIdleDisplaySleep";
  auto assertions = runTool("pmset", {"-g", "assertions"}).output;
  EXPECT_THAT(assertions, HasSubstr("\n   PreventUserIdleDisplaySleep    1\n"));
  EXPECT_THAT(assertions, HasSubstr(owner));
  EXPECT_THAT(runTool("pmset", {"-g"}).output, HasSubstr("\n displaysleep         10 (display sleep prevented by caffeinate)\n"));

  caffeinate.reset();  // SIGKILL: only the liveness check can release it
  assertions = runTool("pmset", {"-g", "assertions"}).output;
  EXPECT_THAT(assertions, HasSubstr("\n   PreventUserIdleDisplaySleep    0\n"));
  EXPECT_THAT(assertions, Not(HasSubstr(owner)));
  EXPECT_THAT(runTool("pmset", {"-g"}).output, HasSubstr("\n displaysleep         10\n"));
}

// --- sudo ------------------------------------------------------------------------------------

// "ME" in a drop-in's text stands for the current user.
struct DropIn {
  std::string name;
  std::string text;
  fs::perms mode = static_cast<fs::perms>(0440);
};

class SimToolSudo : public test::SimRootTest {
 protected:
  fs::path folder() { return root() / "etc" / "sudoers.d"; }
  void install(const std::vector<DropIn>& dropIns) {
    for (const auto& entry : fs::directory_iterator(folder())) fs::remove(entry.path());
    fs::remove(root() / "mac" / "disablesleep");
    const passwd* account = ::getpwuid(::getuid());
    ASSERT_NE(account, nullptr);
    for (const auto& dropIn : dropIns) {
      std::string text = dropIn.text;
      for (std::size_t at; (at = text.find("ME")) != std::string::npos;) text.replace(at, 2, account->pw_name);
      std::ofstream(folder() / dropIn.name) << text;
      fs::permissions(folder() / dropIn.name, dropIn.mode);
    }
  }
};

const std::string CorvelRule =
    "ME ALL = (root) NOPASSWD: /usr/bin/pmset -a disablesleep 0, /usr/bin/pmset -a disablesleep 1\n";
const std::string PasswordRequired = "sudo: a password is required\n";

TEST_F(SimToolSudo, GrantsOnlyWhatAReadableRuleAllowsWithoutAPassword) {
  const struct {
    const char* what;
    std::vector<DropIn> dropIns;
    const char* value;  // the command is /usr/bin/pmset -a disablesleep <value>
    bool granted;
  } cases[] = {
      {"no drop-in", {}, "1", false},
      {"Corvel's rule, 0", {{"corvel", CorvelRule}}, "0", true},
      {"Corvel's rule, 1", {{"corvel", CorvelRule}}, "1", true},
      {"another user", {{"corvel", "someone-else ALL = (root) NOPASSWD: /usr/bin/pmset -a disablesleep 1"}}, "1", false},
      {"another argument", {{"corvel", "ME ALL = (root) NOPASSWD: /usr/bin/pmset -a disablesleep 0"}}, "1", false},
      {"fewer arguments", {{"corvel", "ME ALL = (root) NOPASSWD: /usr/bin/pmset -a disablesleep"}}, "1", false},
      {"name with a dot", {{"corvel-first.last", CorvelRule}}, "1", false},
      {"name ending in ~", {{"corvel~", CorvelRule}}, "1", false},
      {"tight blanks", {{"c", "ME ALL=(root) NOPASSWD:/usr/bin/pmset -a disablesleep 0,/usr/bin/pmset -a disablesleep 1"}},
       "1", true},
      {"loose blanks, comments, continuation",
       {{"c", "# Corvel\n\n\tME \t ALL\t=\t( root )  NOPASSWD :  /usr/bin/pmset   -a  disablesleep 0 , \\\n"
              "  /usr/bin/pmset -a disablesleep 1   # both\n"}},
       "1", true},
      {"no runas means root", {{"c", "ME ALL = NOPASSWD: /usr/bin/pmset -a disablesleep 1"}}, "1", true},
      {"runas another user", {{"c", "ME ALL = (bob) NOPASSWD: /usr/bin/pmset -a disablesleep 1"}}, "1", false},
      {"password needed", {{"c", "ME ALL = (root) /usr/bin/pmset -a disablesleep 1"}}, "1", false},
      {"later PASSWD wins", {{"a", CorvelRule}, {"b", "ME ALL = (root) PASSWD: /usr/bin/pmset -a disablesleep 1"}}, "1",
       false},
      {"negated entry", {{"c", "ME ALL = (root) NOPASSWD: ALL, !/usr/bin/pmset"}}, "1", false},
      {"all but me", {{"c", "ALL, !ME ALL = NOPASSWD: /usr/bin/pmset"}}, "1", false},
      {"path alone: any arguments", {{"c", "ME ALL = (root) NOPASSWD: /usr/bin/pmset"}}, "1", true},
      {"defaults lines", {{"c", "Defaults:ME !lecture, timestamp_timeout = 5, env_keep += \"A B\"\n" + CorvelRule}},
       "1", true},
      {"alias names never match", {{"c", "Cmnd_Alias PM = /usr/bin/pmset\nME ALL = (root) NOPASSWD: PM"}}, "1", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    install(c.dropIns);
    const auto result = runTool("sudo", {"-n", "/usr/bin/pmset", "-a", "disablesleep", c.value});
    expectResult(result, c.granted ? 0 : 1, c.granted ? "" : PasswordRequired);
    EXPECT_EQ(macValue("disablesleep"), c.granted ? c.value : "");
  }
}

TEST_F(SimToolSudo, RefusesEverythingOverAnUnsafeOrBrokenDropIn) {
  const struct {
    std::vector<DropIn> dropIns;
    std::string complaint;  // "@" stands for the sudoers.d folder
  } cases[] = {
      {{{"corvel", CorvelRule, static_cast<fs::perms>(0460)}}, "sudo: @/corvel is owned by gid"},
      {{{"corvel", CorvelRule, static_cast<fs::perms>(0446)}}, "sudo: @/corvel is world writable"},
      {{{"corvel", "# Corvel\n\nME ALL = (root) NOPASSWD /usr/bin/pmset -a disablesleep 1\n"}},
       "sudo: parse error in @/corvel near line 3"},
      {{{"corvel", "ME ALL (root) NOPASSWD: /usr/bin/pmset"}}, "parse error in @/corvel near line 1"},
      {{{"corvel", "ME ALL = (root NOPASSWD: /usr/bin/pmset"}}, "parse error in @/corvel near line 1"},
      {{{"corvel", "ME ALL = (root) NOPASSWD: pmset -a disablesleep 1"}}, "parse error in @/corvel near line 1"},
      {{{"corvel", "ME ALL = (root) NOPASSWD: /usr/bin/pmset -a disablesleep 1,"}}, "parse error in @/corvel near line 1"},
      {{{"corvel", "ME ALL = (root) NOPASSWD: /usr/bin/env A=b"}}, "parse error in @/corvel near line 1"},
      {{{"corvel", "#includedir /etc/other\n"}}, "parse error in @/corvel near line 1"},
      {{{"corvel", "Defaults ALL = (root) NOPASSWD: /usr/bin/pmset\n"}}, "parse error in @/corvel near line 1"},
      // A sound grant does not survive a broken neighbour.
      {{{"a", CorvelRule}, {"b", "ME ALL = = ALL"}}, "parse error in @/b near line 1"},
  };
  for (const auto& c : cases) {
    std::string complaint = c.complaint;
    complaint.replace(complaint.find('@'), 1, folder().string());
    SCOPED_TRACE(complaint);
    install(c.dropIns);
    const auto result = runTool("sudo", {"-n", "/usr/bin/pmset", "-a", "disablesleep", "1"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_THAT(result.output, HasSubstr(complaint));
    EXPECT_EQ(macValue("disablesleep"), "");
  }
}

TEST_F(SimToolSudo, RunsTheSimToolOrCommandAsRootAndPassesItsExitStatus) {
  install({{"corvel", "ME ALL = (root) NOPASSWD: /bin/sh, /usr/sbin/sysadminctl -screenLock off -password -, "
                      "/nonexistent/tool, /usr/bin/true \"\""}});
  expectResult(runTool("sudo", {"-n", "/bin/sh", "-c", "echo \"$CORVEL_SIM_PRIVILEGED\"; exit 7"}), 7, "1\n");
  // Standard input reaches the command untouched.
  expectResult(runTool("sudo", {"-n", "/usr/sbin/sysadminctl", "-screenLock", "off", "-password", "-"}, "corvel\n"), 0,
               "");
  EXPECT_EQ(macValue("screenlock"), "off");
  expectResult(runTool("sudo", {"-n", "/nonexistent/tool"}), 1, "sudo: /nonexistent/tool: command not found\n");
  // "" allows the command without arguments, and only so.
  expectResult(runTool("sudo", {"-n", "/usr/bin/true"}), 0, "");
  expectResult(runWrapped("/bin/sh", StandardErrorOnly, "sudo", {"-n", "/usr/bin/true", "x"}), 1, PasswordRequired);

  install({});  // root itself needs no rule
  expectResult(runWrapped("/usr/bin/env", AsRoot, "sudo", {"-n", "/usr/bin/pmset", "-a", "disablesleep", "1"}), 0, "");
  EXPECT_EQ(macValue("disablesleep"), "1");
}

TEST_F(SimToolSudo, NeverReadsStandardInputAndTakesNoOtherForm) {
  const struct {
    std::vector<DropIn> dropIns;
    Args args;
  } cases[] = {
      {{}, {"-n", "/usr/bin/pmset", "-a", "disablesleep", "1"}},
      {{{"corvel", "ME ALL = (root) NOPASSWD /usr/bin/pmset"}}, {"-n", "/usr/bin/pmset", "-a", "disablesleep", "1"}},
      {{{"c", "ME ALL = NOPASSWD: ALL"}}, {"/usr/bin/pmset", "-a", "disablesleep", "1"}},
      {{{"c", "ME ALL = NOPASSWD: ALL"}}, {"-n", "pmset", "-a", "disablesleep", "1"}},
      {{{"c", "ME ALL = NOPASSWD: ALL"}}, {"-k", "/usr/bin/pmset", "-a", "disablesleep", "1"}},
      {{{"c", "ME ALL = NOPASSWD: ALL"}}, {"-n"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(joined(c.args));
    install(c.dropIns);
    int input[2];
    ASSERT_EQ(::pipe2(input, O_CLOEXEC), 0);
    const std::string typed = "corvel\n";
    ASSERT_EQ(::write(input[1], typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
    // The writing end stays open: a sudo waiting for a password would hang here.
    Child sudo(test::simTool("sudo"), c.args, input[0]);
    const auto status = sudo.wait();
    EXPECT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 1);
    int unread = 0;
    ::ioctl(input[0], FIONREAD, &unread);
    EXPECT_EQ(unread, static_cast<int>(typed.size()));
    EXPECT_EQ(macValue("disablesleep"), "");
    ::close(input[0]);
    ::close(input[1]);
  }
}

// --- sysadminctl -----------------------------------------------------------------------------

class SimToolSysadminctl : public test::SimRootTest {};

const std::string LogPrefix = R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} sysadminctl\[\d+:\d+\] )";

TEST_F(SimToolSysadminctl, ReportsTheStatusOnStandardErrorBehindALogPrefix) {
  const std::pair<const char*, const char*> cases[] = {{"immediate", "screenLock delay is immediate"},
                                                       {"off", "screenLock is off"},
                                                       {"300", "screenLock delay is 300 seconds"},
                                                       {"-1", "screenLock delay is -1 seconds"}};
  for (const auto& [stored, body] : cases) {
    SCOPED_TRACE(stored);
    setMacValue("screenlock", stored);
    const auto errors = runWrapped("/bin/sh", StandardErrorOnly, "sysadminctl", {"-screenLock", "status"});
    EXPECT_EQ(errors.exitCode, 0);
    EXPECT_TRUE(std::regex_match(errors.output, std::regex(LogPrefix + body + "\n"))) << errors.output;
    EXPECT_EQ(runWrapped("/bin/sh", StandardOutputOnly, "sysadminctl", {"-screenLock", "status"}).output, "");
  }
}

TEST_F(SimToolSysadminctl, ChangesTheSettingOnlyWithTheLoginPasswordAndAValidValue) {
  const struct {
    Args args;
    std::string input;
    const char* stored;  // null: refused, the setting unchanged
  } cases[] = {
      {{"-screenLock", "off", "-password", "-"}, "corvel\n", "off"},
      {{"-screenLock", "300", "-password", "-"}, "corvel", "300"},
      {{"-password", "-", "-screenLock", "immediate"}, "corvel\n", "immediate"},
      {{"-screenLock", "5", "-password", "corvel"}, "", "5"},
      {{"-screenLock", "0", "-password", "-"}, "corvel\n", "immediate"},
      {{"-screenLock", "007", "-password", "-"}, "corvel\nnext\n", "7"},
      {{"-screenLock", "off", "-password", "-"}, "wrong\n", nullptr},
      {{"-screenLock", "off", "-password", "-"}, "corvel\r\n", nullptr},
      {{"-screenLock", "off", "-password", "-"}, "", nullptr},
      {{"-screenLock", "off", "-password", "Corvel"}, "", nullptr},
      {{"-screenLock", "off"}, "corvel\n", nullptr},
      {{"-screenLock", "-5", "-password", "corvel"}, "", nullptr},
      {{"-screenLock", "soon", "-password", "corvel"}, "", nullptr},
      {{"-screenLock", "", "-password", "corvel"}, "", nullptr},
      {{"-screenLock", "5s", "-password", "corvel"}, "", nullptr},
      {{"-screenLock", "99999999999", "-password", "corvel"}, "", nullptr},
      {{"-screenLock", "Immediate", "-password", "corvel"}, "", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(joined(c.args) + " <<< " + c.input);
    setMacValue("screenlock", "60");
    const auto result = runTool("sysadminctl", c.args, c.input);
    if (c.stored) {
      expectResult(result, 0, "");
    } else {
      EXPECT_NE(result.exitCode, 0);
      EXPECT_TRUE(std::regex_search(result.output, std::regex(LogPrefix))) << result.output;
    }
    EXPECT_EQ(macValue("screenlock"), c.stored ? c.stored : "60");
  }
}

TEST_F(SimToolSysadminctl, RejectsOtherArgumentForms) {
  const Args cases[] = {{}, {"-screenLock"}, {"-foo", "bar"}, {"-screenLock", "off", "-screenLock", "immediate"}};
  for (const auto& args : cases) {
    SCOPED_TRACE(joined(args));
    const auto result = runTool("sysadminctl", args);
    EXPECT_NE(result.exitCode, 0);
    EXPECT_THAT(result.output, HasSubstr("Usage: sysadminctl"));
    EXPECT_EQ(macValue("screenlock"), "immediate");
  }
}

TEST_F(SimToolSysadminctl, RecordsEveryCallButNeverThePassword) {
  setMacValue("login-password", "hunter2");
  const struct {
    Args args;
    std::string input;
    const char* recorded;
  } cases[] = {
      {{"-screenLock", "status"}, "", "-screenLock status"},
      {{"-screenLock", "off", "-password", "hunter2"}, "", "-screenLock off -password <redacted>"},
      {{"-screenLock", "300", "-password", "-"}, "hunter2\n", "-screenLock 300 -password -"},
      {{"-password", "hunter2", "-screenLock", "immediate"}, "", "-password <redacted> -screenLock immediate"},
      {{"-screenLock", "-password", "-password", "hunter2"}, "", "-screenLock -password <redacted> <redacted>"},
      {{"-screenLock", "soon", "-password", "hunter2"}, "", "-screenLock soon -password <redacted>"},
  };
  std::string expected;
  for (const auto& c : cases) {
    runTool("sysadminctl", c.args, c.input);
    expected += std::string(c.recorded) + "\n";
  }
  EXPECT_EQ(sim::readFile(root() / "mac" / "sysadminctl-calls"), expected);
  for (const auto& entry : fs::recursive_directory_iterator(root())) {
    if (!entry.is_regular_file() || entry.path() == root() / "mac" / "login-password") continue;
    EXPECT_THAT(sim::readFile(entry.path()).value_or(""), Not(HasSubstr("hunter2"))) << entry.path();
  }
}

}  // namespace
}  // namespace corvel
