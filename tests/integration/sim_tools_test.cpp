// The simulated Mac's caffeinate, pmset, sudo and sysadminctl, run as real child processes.
#include <chrono>
#include <csignal>
#include <functional>
#include <fcntl.h>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <limits>
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

#include "adapters/posix/process_runner_posix.h"
#include "sim/assertions.h"
#include "sim/sim_root.h"
#include "tests/support/sim_root_fixture.h"

extern char** environ;

namespace corvel {
namespace {
namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Args = std::vector<std::string>;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::PrintToString;
using ::testing::StartsWith;

void expectResult(const ProcessResult& result, int exitCode, const std::string& output) {
  EXPECT_EQ(result.exitCode, exitCode);
  EXPECT_EQ(result.output, output);
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

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at; (at = text.find(from)) != std::string::npos;) text.replace(at, from.size(), to);
  return text;
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit = 5s) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (; !condition(); std::this_thread::sleep_for(10ms)) {
    if (std::chrono::steady_clock::now() > deadline) return false;
  }
  return true;
}

// User plus system time in clock ticks: the 14th and 15th fields of /proc/<pid>/stat, counting the
// parenthesised command name as the 2nd.
long cpuTicks(pid_t pid) {
  const std::string stat = sim::readFile("/proc/" + std::to_string(pid) + "/stat").value_or("");
  std::istringstream fields(stat.substr(stat.rfind(')') + 1));
  std::string skipped;
  long user = 0, system = 0;
  for (int field = 3; field < 14; ++field) fields >> skipped;
  return fields >> user >> system ? user + system : std::numeric_limits<long>::max();
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
  pid_t pid() const { return pid_; }
  // The raw wait status, once it has ended within `limit`.
  std::optional<int> wait(std::chrono::milliseconds limit = 5s) {
    waitUntil(
        [&] {
          int status = 0;
          if (!status_ && ::waitpid(pid_, &status, WNOHANG) == pid_) status_ = status;
          return status_.has_value();
        },
        limit);
    return status_;
  }

 private:
  pid_t pid_ = -1;
  std::optional<int> status_;
};

// "ME" in a drop-in's text stands for the current user.
struct DropIn {
  std::string name;
  std::string text;
  fs::perms mode = static_cast<fs::perms>(0440);
};

class SimTool : public test::SimRootTest {
 protected:
  fs::path assertion(pid_t pid) { return sim::assertionFile(root(), pid); }
  bool holds(const Child& child) {
    return waitUntil([&] { return fs::exists(assertion(child.pid())); });
  }
  bool noAssertions() { return fs::is_empty(root() / "mac" / "assertions"); }

  fs::path folder() { return root() / "etc" / "sudoers.d"; }
  void install(const std::vector<DropIn>& dropIns) {
    for (const auto& entry : fs::directory_iterator(folder())) fs::remove(entry.path());
    fs::remove(root() / "mac" / "disablesleep");
    const passwd* account = ::getpwuid(::getuid());
    ASSERT_NE(account, nullptr);
    for (const auto& dropIn : dropIns) {
      std::ofstream(folder() / dropIn.name) << replaced(dropIn.text, "ME", account->pw_name);
      fs::permissions(folder() / dropIn.name, dropIn.mode);
    }
  }
};
using SimToolCaffeinate = SimTool;
using SimToolPmset = SimTool;
using SimToolSudo = SimTool;
using SimToolSysadminctl = SimTool;

TEST_F(SimToolCaffeinate, HoldsItsAssertionIdlyWhileAliveAndReleasesItOnEachEndingSignal) {
  const struct {
    Args args;
    const char* held;
    int signal;
  } cases[] = {{{}, "-i", SIGTERM},
               {{"-d"}, "-d", SIGINT},
               {{"-dims"}, "-d -i -m -s", SIGHUP},
               {{"-s", "-t", "600", "-d"}, "-d -s", SIGTERM}};
  for (const auto& c : cases) {
    SCOPED_TRACE(PrintToString(c.args));
    Child caffeinate(test::simTool("caffeinate"), c.args);
    ASSERT_TRUE(holds(caffeinate));
    EXPECT_EQ(sim::readFile(assertion(caffeinate.pid())), std::string(c.held) + "\n");
    EXPECT_EQ(sim::liveAssertions(root()), std::vector<pid_t>{caffeinate.pid()});
    std::this_thread::sleep_for(300ms);
    EXPECT_LT(cpuTicks(caffeinate.pid()), 10);  // blocks rather than spinning
    ::kill(caffeinate.pid(), c.signal);
    const auto status = caffeinate.wait();
    ASSERT_TRUE(status);
    // It dies of the signal after cleaning up, as the real tool would die of it.
    EXPECT_TRUE(WIFSIGNALED(*status) && WTERMSIG(*status) == c.signal);
    EXPECT_TRUE(noAssertions());
  }
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
    SCOPED_TRACE(PrintToString(c.args));
    const auto start = std::chrono::steady_clock::now();
    expectResult(runTool("caffeinate", c.args), c.exitCode, "");
    EXPECT_GE(std::chrono::steady_clock::now() - start, c.atLeast);
    EXPECT_TRUE(noAssertions());
  }
}

TEST_F(SimToolCaffeinate, EndsWhenTheWatchedProcessEnds) {
  Child sleeper("/bin/sleep", {"600"});
  Child caffeinate(test::simTool("caffeinate"), {"-w", std::to_string(sleeper.pid())});
  ASSERT_TRUE(holds(caffeinate));
  EXPECT_FALSE(caffeinate.wait(300ms));
  ::kill(sleeper.pid(), SIGKILL);  // left unreaped: ended is ended
  const auto status = caffeinate.wait();
  EXPECT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
  EXPECT_TRUE(noAssertions());
  ASSERT_TRUE(sleeper.wait());
  expectResult(runTool("caffeinate", {"-w", std::to_string(sleeper.pid())}), 0, "");  // gone already
}

TEST_F(SimToolCaffeinate, RejectsUnknownFlagsAndBadValues) {
  for (const Args& args :
       {Args{"-x"}, Args{"-d", "-q"}, Args{"-t"}, Args{"-w"}, Args{"-t", "soon"}, Args{"-t", "-5"}, Args{"-w", "0"}}) {
    SCOPED_TRACE(PrintToString(args));
    const auto result = runWrapped("/bin/sh", StandardErrorOnly, "caffeinate", args);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_THAT(result.output, HasSubstr("usage: caffeinate [-disu] [-t timeout] [-w pid] [utility arguments...]\n"));
    EXPECT_TRUE(noAssertions());
  }
}

TEST_F(SimToolPmset, ChangesSleepOnlyAsRootAndInTheOneFormAndShowsTheValue) {
  const auto fresh = runWrapped("/bin/sh", StandardOutputOnly, "pmset", {"-g"});
  EXPECT_EQ(fresh.exitCode, 0);
  EXPECT_THAT(fresh.output, StartsWith("System-wide power settings:\nCurrently in use:\n"));
  for (const char* line :
       {"\n standby              1\n", "\n sleep                1\n", "\n displaysleep         10\n"}) {
    EXPECT_THAT(fresh.output, HasSubstr(line));
  }
  EXPECT_THAT(fresh.output, Not(HasSubstr("SleepDisabled")));
  const char* usage = "Usage: pmset";
  const Args set1 = {"-a", "disablesleep", "1"};
  const struct {
    Args environment, args;
    const char* complaint;
  } cases[] = {
      // no complaint: accepted
      {AsRoot, set1, nullptr},
      {AsRoot, {"-a", "disablesleep", "0"}, nullptr},
      {{"-u", "CORVEL_SIM_PRIVILEGED"}, set1, "'/usr/bin/pmset' must be run as root"},
      {{"CORVEL_SIM_PRIVILEGED=0"}, set1, "must be run as root"},
      {{"CORVEL_SIM_PRIVILEGED=1 "}, set1, "must be run as root"},
      {AsRoot, {}, usage},
      {AsRoot, {"-g", "batt"}, usage},
      {AsRoot, {"-a", "disablesleep", "2"}, usage},
      {AsRoot, {"-a", "disablesleep", "1", "more"}, usage},
      {AsRoot, {"disablesleep", "1"}, usage},
      {AsRoot, {"-a", "sleep", "1"}, usage},
      {AsRoot, set1, nullptr},
  };
  std::string stored;
  for (const auto& c : cases) {
    SCOPED_TRACE(PrintToString(c.environment) + " " + PrintToString(c.args));
    const auto result = runWrapped("/usr/bin/env", c.environment, "pmset", c.args);
    if (c.complaint) {
      EXPECT_NE(result.exitCode, 0);
      EXPECT_THAT(result.output, HasSubstr(c.complaint));
    } else {
      expectResult(result, 0, "");
      stored = c.args.back();
    }
    EXPECT_EQ(macValue("disablesleep"), stored);
    EXPECT_THAT(runTool("pmset", {"-g"}).output,
                StartsWith("System-wide power settings:\n SleepDisabled\t\t" + stored + "\nCurrently in use:\n"));
  }
}

TEST_F(SimToolPmset, CountsOnlyLiveCaffeinateAssertionsEvenBeforeAKilledHolderIsReaped) {
  Child killed(test::simTool("caffeinate"), {"-d"});
  Child living(test::simTool("caffeinate"), {"-i"});
  ASSERT_TRUE(holds(killed) && holds(living));
  const std::string owner = "pid " + std::to_string(killed.pid()) + "(caffeinate): PreventUserIdleDisplaySleep";
  auto assertions = runTool("pmset", {"-g", "assertions"}).output;
  EXPECT_THAT(assertions, HasSubstr("\n   PreventUserIdleDisplaySleep    1\n"));
  EXPECT_THAT(assertions, HasSubstr(owner));
  EXPECT_THAT(runTool("pmset", {"-g"}).output,
              HasSubstr("\n displaysleep         10 (display sleep prevented by caffeinate)\n"));

  ::kill(killed.pid(), SIGKILL);
  // Unreaped, it lingers as a zombie that kill(pid, 0) still finds, and it never removed its file.
  ASSERT_TRUE(waitUntil([&] { return !sim::processIsAlive(killed.pid()); }));
  assertions = runTool("pmset", {"-g", "assertions"}).output;
  EXPECT_THAT(assertions, HasSubstr("\n   PreventUserIdleDisplaySleep    0\n"));
  EXPECT_THAT(assertions, Not(HasSubstr(owner)));
  EXPECT_THAT(runTool("pmset", {"-g"}).output, HasSubstr("\n displaysleep         10\n"));
  EXPECT_EQ(sim::liveAssertions(root()), std::vector<pid_t>{living.pid()});
  EXPECT_FALSE(fs::exists(assertion(killed.pid())));
  EXPECT_TRUE(fs::exists(assertion(living.pid())));
}

const std::string CorvelRule =
    "ME ALL = (root) NOPASSWD: /usr/bin/pmset -a disablesleep 0, /usr/bin/pmset -a disablesleep 1\n";
const std::string NoPassword = "a password is required";

TEST_F(SimToolSudo, GrantsOnlyWhatASoundReadableRuleAllowsWithoutAPassword) {
  const std::string Granted, ParseError = "parse error in @/c near line 1";
  const struct {
    const char* what;
    std::string refusal;  // "@" stands for the sudoers.d folder, "GID" for its group
    std::vector<DropIn> dropIns;
    const char* value = "1";  // the command is /usr/bin/pmset -a disablesleep <value>
  } cases[] = {
      {"no drop-in", NoPassword, {}},
      {"Corvel's rule, 0", Granted, {{"c", CorvelRule}}, "0"},
      {"Corvel's rule, 1", Granted, {{"c", CorvelRule}}},
      {"another user", NoPassword, {{"c", "someone-else ALL = (root) NOPASSWD: /usr/bin/pmset -a disablesleep 1"}}},
      {"another argument", NoPassword, {{"c", "ME ALL = (root) NOPASSWD: /usr/bin/pmset -a disablesleep 0"}}},
      {"fewer arguments", NoPassword, {{"c", "ME ALL = (root) NOPASSWD: /usr/bin/pmset -a disablesleep"}}},
      {"name with a dot", NoPassword, {{"corvel-first.last", CorvelRule}}},
      {"name ending in ~", NoPassword, {{"corvel~", CorvelRule}}},
      {"tight blanks",
       Granted,
       {{"c", "ME ALL=(root) NOPASSWD:/usr/bin/pmset -a disablesleep 0,/usr/bin/pmset -a disablesleep 1"}}},
      {"loose blanks, comments, continuation",
       Granted,
       {{"c", "# Corvel\n\n\tME \t ALL\t=\t( root )  NOPASSWD :  /usr/bin/pmset   -a  disablesleep 0 , \\\n"
              "  /usr/bin/pmset -a disablesleep 1   # both\n"}}},
      {"no runas means root", Granted, {{"c", "ME ALL = NOPASSWD: /usr/bin/pmset -a disablesleep 1"}}},
      {"runas another user", NoPassword, {{"c", "ME ALL = (bob) NOPASSWD: /usr/bin/pmset -a disablesleep 1"}}},
      {"password needed", NoPassword, {{"c", "ME ALL = (root) /usr/bin/pmset -a disablesleep 1"}}},
      {"later PASSWD wins",
       NoPassword,
       {{"a", CorvelRule}, {"b", "ME ALL = (root) PASSWD: /usr/bin/pmset -a disablesleep 1"}}},
      {"negated entry", NoPassword, {{"c", "ME ALL = (root) NOPASSWD: ALL, !/usr/bin/pmset"}}},
      {"all but me", NoPassword, {{"c", "ALL, !ME ALL = NOPASSWD: /usr/bin/pmset"}}},
      {"path alone: any arguments", Granted, {{"c", "ME ALL = (root) NOPASSWD: /usr/bin/pmset"}}},
      {"defaults lines",
       Granted,
       {{"c", "Defaults:ME !lecture, timestamp_timeout = 5, env_keep += \"A B\"\n" + CorvelRule}}},
      {"alias names never match", NoPassword, {{"c", "Cmnd_Alias PM = /usr/bin/pmset\nME ALL = (root) NOPASSWD: PM"}}},
      // Anything unsafe or broken makes sudo refuse everything.
      {"group writable", "@/c is owned by gid GID, should be 0", {{"c", CorvelRule, static_cast<fs::perms>(0460)}}},
      {"world writable", "@/c is world writable", {{"c", CorvelRule, static_cast<fs::perms>(0446)}}},
      {"no colon",
       "parse error in @/c near line 3",
       {{"c", "# Corvel\n\nME ALL = (root) NOPASSWD /usr/bin/pmset -a disablesleep 1\n"}}},
      {"no equals", ParseError, {{"c", "ME ALL (root) NOPASSWD: /usr/bin/pmset"}}},
      {"runas unclosed", ParseError, {{"c", "ME ALL = (root NOPASSWD: /usr/bin/pmset"}}},
      {"relative command", ParseError, {{"c", "ME ALL = (root) NOPASSWD: pmset -a disablesleep 1"}}},
      {"trailing comma", ParseError, {{"c", "ME ALL = (root) NOPASSWD: /usr/bin/pmset -a disablesleep 1,"}}},
      {"environment assignment", ParseError, {{"c", "ME ALL = (root) NOPASSWD: /usr/bin/env A=b"}}},
      {"includedir", ParseError, {{"c", "#includedir /etc/other\n"}}},
      {"defaults holding a rule", ParseError, {{"c", "Defaults ALL = (root) NOPASSWD: /usr/bin/pmset\n"}}},
      {"a broken neighbour", "parse error in @/d near line 1", {{"c", CorvelRule}, {"d", "ME ALL = = ALL"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    install(c.dropIns);
    struct stat info {};
    ::stat(folder().c_str(), &info);  // a new file takes the folder's group
    const auto refusal = replaced(replaced(c.refusal, "@", folder().string()), "GID", std::to_string(info.st_gid));
    const auto result = runTool("sudo", {"-n", "/usr/bin/pmset", "-a", "disablesleep", c.value});
    expectResult(result, refusal.empty() ? 0 : 1, refusal.empty() ? "" : "sudo: " + refusal + "\n");
    EXPECT_EQ(macValue("disablesleep"), refusal.empty() ? c.value : "");
  }
}

TEST_F(SimToolSudo, RunsTheSimToolOrCommandAsRootAndPassesItsExitStatus) {
  install({{"c", "ME ALL = (root) NOPASSWD: /bin/sh, /usr/sbin/sysadminctl -screenLock off -password -, "
                 "/nonexistent/tool, /usr/bin/true \"\""}});
  expectResult(runTool("sudo", {"-n", "/bin/sh", "-c", "echo \"$CORVEL_SIM_PRIVILEGED\"; exit 7"}), 7, "1\n");
  // Standard input reaches the command untouched.
  const Args screenLockOff = {"-n", "/usr/sbin/sysadminctl", "-screenLock", "off", "-password", "-"};
  expectResult(runTool("sudo", screenLockOff, "corvel\n"), 0, "");
  EXPECT_EQ(macValue("screenlock"), "off");
  expectResult(runTool("sudo", {"-n", "/nonexistent/tool"}), 1, "sudo: /nonexistent/tool: command not found\n");
  // "" allows the command without arguments, and only so.
  expectResult(runTool("sudo", {"-n", "/usr/bin/true"}), 0, "");
  expectResult(runWrapped("/bin/sh", StandardErrorOnly, "sudo", {"-n", "/usr/bin/true", "x"}), 1,
               "sudo: " + NoPassword + "\n");

  install({});  // root itself needs no rule
  expectResult(runWrapped("/usr/bin/env", AsRoot, "sudo", {"-n", "/usr/bin/pmset", "-a", "disablesleep", "1"}), 0, "");
  EXPECT_EQ(macValue("disablesleep"), "1");
}

TEST_F(SimToolSudo, NeverReadsStandardInputAndTakesNoOtherForm) {
  const std::vector<DropIn> all = {{"c", "ME ALL = NOPASSWD: ALL"}};
  const struct {
    std::vector<DropIn> dropIns;
    Args args;
  } cases[] = {
      {{}, {"-n", "/usr/bin/pmset", "-a", "disablesleep", "1"}},
      {{{"c", "ME ALL = (root) NOPASSWD /usr/bin/pmset"}}, {"-n", "/usr/bin/pmset", "-a", "disablesleep", "1"}},
      {all, {"/usr/bin/pmset", "-a", "disablesleep", "1"}},
      {all, {"-n", "pmset", "-a", "disablesleep", "1"}},
      {all, {"-k", "/usr/bin/pmset", "-a", "disablesleep", "1"}},
      {all, {"-n"}},
  };
  const std::string typed = "corvel\n";
  for (const auto& c : cases) {
    SCOPED_TRACE(PrintToString(c.args));
    install(c.dropIns);
    int input[2];
    ASSERT_EQ(::pipe2(input, O_CLOEXEC), 0);
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
  struct Case {
    Args args;
    std::string input;
    const char* stored;  // null: refused with `complaint`, the setting unchanged
    std::string complaint = LogPrefix;
  };
  std::vector<Case> cases = {
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
  };
  for (const char* value : {"-5", "soon", "", "5s", "99999999999", "Immediate"}) {
    cases.push_back({{"-screenLock", value, "-password", "corvel"}, "", nullptr});
  }
  for (const Args& args :
       {Args{}, Args{"-screenLock"}, Args{"-foo", "bar"}, Args{"-screenLock", "off", "-screenLock", "immediate"}}) {
    cases.push_back({args, "", nullptr, "Usage: sysadminctl"});
  }
  for (const auto& c : cases) {
    SCOPED_TRACE(PrintToString(c.args) + " <<< " + c.input);
    setMacValue("screenlock", "60");
    const auto result = runTool("sysadminctl", c.args, c.input);
    if (c.stored) {
      expectResult(result, 0, "");
    } else {
      EXPECT_NE(result.exitCode, 0);
      EXPECT_TRUE(std::regex_search(result.output, std::regex(c.complaint))) << result.output;
    }
    EXPECT_EQ(macValue("screenlock"), c.stored ? c.stored : "60");
  }
}

TEST_F(SimToolSysadminctl, RecordsEveryCallButNeverThePassword) {
  setMacValue("login-password", "hunter2");
  const struct {
    Args args;
    std::string input;
    const char* recorded;
  } cases[] = {
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
