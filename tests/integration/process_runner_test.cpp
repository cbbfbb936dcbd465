// The POSIX process runner against real child processes: output, exit codes, input, descriptors.
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <map>
#include <ostream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "adapters/posix/process_runner_posix.h"
#include "tests/support/sim_root_fixture.h"

namespace corvel {

// Internal linkage so another test file's printer for the same type cannot collide at link time.
static void PrintTo(const ProcessResult& result, std::ostream* out) {
  const auto& text = result.output;
  *out << "{exitCode " << result.exitCode << ", output "
       << (text.size() > 200 ? std::to_string(text.size()) + " bytes" : ::testing::PrintToString(text)) << "}";
}

namespace {
namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::Key;
using ::testing::Pair;
using FileIdentity = std::pair<unsigned long long, unsigned long long>;  // device, inode

const std::string kShell = "/bin/sh";
constexpr std::size_t kMiB = 1024 * 1024;

// What `yes 0123456789 | head -c size` writes.
std::string digits(std::size_t size) {
  std::string text;
  while (text.size() < size) text += "0123456789\n";
  return text.substr(0, size);
}

FileIdentity identityOf(const fs::path& file) {
  struct stat info {};
  ::stat(file.c_str(), &info);
  return {info.st_dev, info.st_ino};
}

// fd_report writes one "fd device inode" line per open descriptor.
std::map<int, FileIdentity> parseReport(const std::string& report) {
  std::map<int, FileIdentity> open;
  std::istringstream lines(report);
  int fd;
  FileIdentity identity;
  while (lines >> fd >> identity.first >> identity.second) open[fd] = identity;
  return open;
}

bool sigpipePending() {
  sigset_t pending;
  sigpending(&pending);
  return sigismember(&pending, SIGPIPE) == 1;
}

class ProcessRunnerFiles : public test::SimRootTest {};  // for the fresh folder it makes and removes

TEST(ProcessRunnerRun, ReturnsTheExitCodeAndExactOutputForAnyArgumentsAndInput) {
  struct Case {
    std::string name;
    std::vector<std::string> arguments;  // to /bin/sh
    ProcessResult expected;
    std::optional<std::string> input = std::nullopt;  // given with runWithInput
  };
  std::string interleaved;
  for (int i = 0; i < 200; ++i) interleaved += (i % 2 ? "err " : "out ") + std::to_string(i) + "\n";
  const Case cases[] = {
      {"both streams in arrival order",
       {"-c", "i=0; while [ $i -lt 200 ]; do echo out $i; echo err $((i+1)) >&2; i=$((i+2)); done"},
       {0, interleaved}},
      {"arguments verbatim, output untrimmed",
       {"-c", "printf '[%s]\\n' \"$@\"; printf '  \\n\\n'", "sh", "a b", "", "$HOME", "*", "\"q\" 'r' \\s"},
       {0, "[a b]\n[]\n[$HOME]\n[*]\n[\"q\" 'r' \\s]\n  \n\n"}},
      {"environment and working directory inherited",
       {"-c", "printf '%s|%s' \"$CORVEL_RUNNER_PROBE\" \"$(pwd -P)\""},
       {0, "probe value|" + fs::canonical(fs::current_path()).string()}},
      // A character split across two reads is judged as a whole.
      {"character across a read boundary",
       {"-c", "head -c 65535 /dev/zero | tr '\\000' a; printf '日本'; exit 2"},
       {2, std::string(65535, 'a') + "日本"}},
      {"stray continuation byte", {"-c", "printf 'ok\\200'; exit 3"}, {3, ""}},
      {"truncated at the end", {"-c", "printf '日本\\343\\201'"}, {0, ""}},
      {"ended by a signal", {"-c", "echo before; kill -USR1 $$; echo after"}, {128 + SIGUSR1, "before\n"}},
      {"more output than a pipe holds", {"-c", "yes 0123456789 | head -c 8388608"}, {0, digits(8 * kMiB)}},
      {"more input than a pipe holds, echoed", {"-c", "cat"}, {0, digits(4 * kMiB)}, digits(4 * kMiB)},
      {"input with a NUL", {"-c", "cat"}, {0, std::string("nul\0inside", 10)}, std::string("nul\0inside", 10)},
      {"no input: closed at once", {"-c", "read x; echo \"$?:$x\""}, {0, "1:\n"}, ""},
  };
  ::setenv("CORVEL_RUNNER_PROBE", "probe value", 1);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PosixProcessRunner runner;
    EXPECT_EQ(c.input ? runner.runWithInput(kShell, c.arguments, *c.input) : runner.run(kShell, c.arguments),
              c.expected);
  }
  ::unsetenv("CORVEL_RUNNER_PROBE");
}

// A shell cannot undo a signal ignored on entry, and a blocked one stays blocked across exec: if
// either leaked from us, the shell would survive its own kill and print.
TEST(ProcessRunnerRun, ChildStartsWithSignalsAtTheirDefaults) {
  for (const bool ignore : {true, false}) {
    SCOPED_TRACE(ignore ? "ignored" : "blocked");
    struct sigaction ignored {
    }, previousAction{};
    ignored.sa_handler = SIG_IGN;
    sigset_t only, previousMask;
    sigemptyset(&only);
    sigaddset(&only, SIGPIPE);
    ignore ? ::sigaction(SIGPIPE, &ignored, &previousAction) : pthread_sigmask(SIG_BLOCK, &only, &previousMask);
    const auto result = PosixProcessRunner().run(kShell, {"-c", "kill -PIPE $$; echo survived"});
    ignore ? ::sigaction(SIGPIPE, &previousAction, nullptr) : pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
    EXPECT_EQ(result, (ProcessResult{128 + SIGPIPE, ""}));
  }
}

TEST_F(ProcessRunnerFiles, ToolsThatCannotStartGiveMinusOneAndNothing) {
  const fs::path plainFile = root() / "not-executable";
  std::ofstream(plainFile) << "#!/bin/sh\necho should not run\n";
  PosixProcessRunner runner;
  for (const auto& path : {std::string("/nonexistent/corvel-tool"), plainFile.string(), std::string("sh")}) {
    SCOPED_TRACE(path);  // a bare name is not searched for
    EXPECT_EQ(runner.run(path, {}), (ProcessResult{-1, ""}));
    EXPECT_EQ(runner.runWithInput(path, {}, std::string(kMiB, 'x')), (ProcessResult{-1, ""}));
    EXPECT_EQ(runner.launch(path, {}), nullptr);
  }
}

TEST(ProcessRunnerInput, AChildThatStopsReadingNeverBringsTheParentDown) {
  struct sigaction current {};
  ::sigaction(SIGPIPE, nullptr, &current);
  ASSERT_EQ(current.sa_handler, SIG_DFL);  // with SIGPIPE ignored the test would prove nothing
  const std::string input = "first\n" + digits(4 * kMiB);
  const std::pair<std::string, ProcessResult> cases[] = {
      {"exec 0<&-; echo closed; sleep 0.3; exit 6", {6, "closed\n"}},
      {"read x; echo \"$x\"; exit 5", {5, "first\n"}},
  };
  for (const auto& [script, expected] : cases) {
    EXPECT_EQ(PosixProcessRunner().runWithInput(kShell, {"-c", script}, input), expected) << script;
    EXPECT_FALSE(sigpipePending());
  }
}

TEST_F(ProcessRunnerFiles, ChildrenGetTheStandardThreeDescriptorsAndNothingElse) {
  const fs::path stdinFile = root() / "stdin", reportFile = root() / "report";
  std::ofstream(stdinFile) << "from the parent's standard input\n";
  const FileIdentity parentInput = identityOf(stdinFile), nullDevice = identityOf("/dev/null");
  // A known standard input, whatever the harness handed us; nothing may return early until it is
  // put back.
  const int savedInput = ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3);
  if (const int input = ::open(stdinFile.c_str(), O_RDONLY); input != STDIN_FILENO) {
    ::dup2(input, STDIN_FILENO);
    ::close(input);
  }
  // Deliberately without close-on-exec, as a careless library might leave them.
  int leaky[3] = {::open("/dev/null", O_RDONLY), -1, -1};
  EXPECT_EQ(::pipe(leaky + 1), 0);
  const std::string report = test::testHelper("fd_report");
  PosixProcessRunner runner;
  const auto run = runner.run(report, {});
  const auto withInput = runner.runWithInput(report, {}, "ignored");
  auto launched = runner.launch(report, {reportFile.string()});
  for (int i = 0; i < 1000 && launched && launched->isRunning(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  if (savedInput >= 0) ::dup2(savedInput, STDIN_FILENO);
  for (const int fd : {leaky[0], leaky[1], leaky[2], savedInput >= 0 ? savedInput : STDIN_FILENO}) ::close(fd);

  EXPECT_THAT(parseReport(run.output), ElementsAre(Pair(0, parentInput), Key(1), Key(2)));
  EXPECT_THAT(parseReport(withInput.output), ElementsAre(Pair(0, ::testing::Ne(parentInput)), Key(1), Key(2)));
  ASSERT_TRUE(launched && !launched->isRunning());
  std::ostringstream launchedReport;
  launchedReport << std::ifstream(reportFile).rdbuf();
  EXPECT_THAT(parseReport(launchedReport.str()),
              ElementsAre(Pair(0, parentInput), Pair(1, nullDevice), Pair(2, nullDevice)));
}

TEST(ProcessRunnerLaunch, ADroppedChildIsReapedByALaterRun) {
  PosixProcessRunner runner;
  auto child = runner.launch("/bin/true", {});
  ASSERT_NE(child, nullptr);
  const pid_t pid = child->pid();
  child.reset();
  siginfo_t info{};  // wait for the exit without collecting it, so only the runner can reap it
  ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT), 0);
  runner.run("/bin/true", {});
  errno = 0;
  EXPECT_EQ(::waitpid(pid, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}

// A grandchild that keeps the output pipe open, idle or busy writing, must not hold up run().
TEST_F(ProcessRunnerFiles, AGrandchildHoldingTheOutputOpenDoesNotHoldUpRun) {
  for (const std::string grandchild : {"sleep 30", "yes"}) {
    SCOPED_TRACE(grandchild);
    const fs::path pidFile = root() / grandchild;
    const auto result = PosixProcessRunner().run(
        kShell, {"-c", grandchild + " & echo $! > \"$1\"; echo done; exit 4", "sh", pidFile.string()});
    std::string pid;
    std::ifstream(pidFile) >> pid;
    if (!pid.empty()) ::kill(static_cast<pid_t>(std::stol(pid)), SIGKILL);
    EXPECT_EQ(result.exitCode, 4);
    EXPECT_THAT(result.output, ::testing::HasSubstr("done\n"));
  }
}

}  // namespace
}  // namespace corvel
