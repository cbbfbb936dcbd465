// The POSIX process runner against real child processes: output, exit codes, input, descriptors.
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <regex>
#include <sys/stat.h>
#include <sys/wait.h>

#include "adapters/posix/process_runner_posix.h"
#include "sim/sim_root.h"
#include "tests/support/sim_root_fixture.h"

namespace corvel {

// Internal linkage so another test file's printer for the same type cannot collide at link time.
static void PrintTo(const ProcessResult& result, std::ostream* out) {
  const auto& text = result.output;
  *out << "{exitCode " << result.exitCode << ", limit " << static_cast<int>(result.exceeded) << ", output "
       << (text.size() > 200 ? std::to_string(text.size()) + " bytes}" : ::testing::PrintToString(text) + "}");
}

namespace {

using test::Unhurried;
using namespace std::chrono_literals;

const std::string kShell = "/bin/sh";
constexpr std::size_t kMiB = 1024 * 1024;

// For the fresh folder it makes and removes, and the sim root its children carry in their environment.
class ProcessRunnerFiles : public test::SimRootTest {};

TEST(ProcessRunnerRun, ReturnsTheExitCodeAndExactOutputForAnyArgumentsAndInput) {
  std::string interleaved;
  for (int i = 0; i < 200; ++i) interleaved += (i % 2 ? "err " : "out ") + std::to_string(i) + "\n";
  const std::string unread = "first\n" + std::string(4 * kMiB, 'x');
  // What the child does, its arguments to /bin/sh, the result, and the input given with runWithInput.
  const std::tuple<const char*, std::vector<std::string>, ProcessResult, std::optional<std::string>> cases[] = {
      {"both streams in arrival order",
       {"-c", "i=0; while [ $i -lt 200 ]; do echo out $i; echo err $((i+1)) >&2; i=$((i+2)); done"},
       {0, interleaved},
       {}},
      {"arguments verbatim, output untrimmed",
       {"-c", "printf '[%s]\\n' \"$@\"; printf '  \\n\\n'", "sh", "a b", "", "$HOME", "*", "\"q\" 'r' \\s"},
       {0, "[a b]\n[]\n[$HOME]\n[*]\n[\"q\" 'r' \\s]\n  \n\n"},
       {}},
      // A character split across two reads is judged as a whole.
      {"character across a read boundary",
       {"-c", "head -c 65535 /dev/zero | tr '\\000' a; printf '日本'; exit 2"},
       {2, std::string(65535, 'a') + "日本"},
       {}},
      {"stray continuation byte", {"-c", "printf 'ok\\200'; exit 3"}, {3, ""}, {}},
      {"truncated at the end", {"-c", "printf '日本\\343\\201'"}, {0, ""}, {}},
      {"ended by a signal", {"-c", "echo before; kill -USR1 $$; echo after"}, {128 + SIGUSR1, "before\n"}, {}},
      {"more than a pipe holds, each way", {"-c", "cat"}, {0, std::string(4 * kMiB, 'x')}, std::string(4 * kMiB, 'x')},
      {"input with a NUL", {"-c", "cat"}, {0, std::string("nul\0inside", 10)}, std::string("nul\0inside", 10)},
      {"no input: closed at once", {"-c", "read x; echo \"$?:$x\""}, {0, "1:\n"}, ""},
      // A child that stops reading never brings the parent down, nor leaves it a SIGPIPE.
      {"input closed unread", {"-c", "exec 0<&-; echo closed; sleep 0.3; exit 6"}, {6, "closed\n"}, unread},
      {"input read in part", {"-c", "read x; echo \"$x\"; exit 5"}, {5, "first\n"}, unread},
  };
  struct sigaction current {};
  ::sigaction(SIGPIPE, nullptr, &current);
  ASSERT_EQ(current.sa_handler, SIG_DFL);  // with SIGPIPE ignored the last rows would prove nothing
  for (const auto& [name, arguments, expected, input] : cases) {
    SCOPED_TRACE(name);
    PosixProcessRunner runner;
    EXPECT_EQ(
        input ? runner.runWithInput(kShell, arguments, *input, Unhurried) : runner.run(kShell, arguments, Unhurried),
        expected);
  }
  sigset_t pending;
  sigpending(&pending);
  EXPECT_FALSE(sigismember(&pending, SIGPIPE));
}

// A shell cannot undo a signal ignored on entry, and a blocked one stays blocked across exec: if
// either leaked from us, the shell would survive its own kill and print.
TEST(ProcessRunnerRun, ChildStartsWithSignalsAtTheirDefaults) {
  for (const bool ignore : {true, false}) {
    SCOPED_TRACE(ignore ? "ignored" : "blocked");
    struct sigaction ignored = {}, previousAction = {};
    ignored.sa_handler = SIG_IGN;
    sigset_t only, previousMask;
    sigemptyset(&only), sigaddset(&only, SIGPIPE);
    ignore ? ::sigaction(SIGPIPE, &ignored, &previousAction) : pthread_sigmask(SIG_BLOCK, &only, &previousMask);
    const auto result = PosixProcessRunner().run(kShell, {"-c", "kill -PIPE $$; echo survived"}, Unhurried);
    ignore ? ::sigaction(SIGPIPE, &previousAction, nullptr) : pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
    EXPECT_EQ(result, (ProcessResult{128 + SIGPIPE, ""}));
  }
}

TEST(ProcessRunnerRun, ToolsThatCannotStartGiveMinusOneAndNothing) {
  PosixProcessRunner runner;
  for (const std::string path : {"/nonexistent/corvel-tool", "/etc/passwd", "sh"}) {
    SCOPED_TRACE(path);  // a bare name is not searched for
    EXPECT_EQ(runner.run(path, {}, Unhurried), (ProcessResult{-1, ""}));
    EXPECT_EQ(runner.runWithInput(path, {}, std::string(kMiB, 'x'), Unhurried), (ProcessResult{-1, ""}));
    EXPECT_EQ(runner.launch(path, {}), nullptr);
  }
}

// Descriptors left without close-on-exec, as a careless library might leave them, must not reach a
// child: a tool that inherited a pipe's writing end would keep its reader waiting.
TEST_F(ProcessRunnerFiles, ChildrenGetTheStandardThreeDescriptorsAndNothingElse) {
  int leaky[3] = {::open("/dev/null", O_RDONLY), -1, -1};
  EXPECT_EQ(::pipe(leaky + 1), 0);
  const std::string report = test::testHelper("fd_report"), reportFile = root() / "report";
  PosixProcessRunner runner;
  auto launched = runner.launch(report, {reportFile});
  ASSERT_TRUE(launched);
  EXPECT_TRUE(test::eventually([&] { return !launched->isRunning(); }));
  for (const int fd : leaky) ::close(fd);
  struct stat null {};
  ::stat("/dev/null", &null);
  // fd_report writes "fd device inode" for each descriptor open in it; every spawn shares one setup.
  const std::string nullDevice = std::to_string(null.st_dev) + " " + std::to_string(null.st_ino) + "\n";
  EXPECT_TRUE(std::regex_match(sim::readFile(reportFile).value_or(""),
                               std::regex("0 \\d+ \\d+\n1 " + nullDevice + "2 " + nullDevice)));
}

TEST(ProcessRunnerLaunch, ADroppedChildIsReapedByALaterRun) {
  PosixProcessRunner runner;
  auto child = runner.launch("/bin/true", {});
  ASSERT_NE(child, nullptr);
  const pid_t pid = child->pid();
  child.reset();
  siginfo_t info{};  // wait for the exit without collecting it, so only the runner can reap it
  ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT), 0);
  runner.run("/bin/true", {}, Unhurried);
  EXPECT_TRUE(::waitpid(pid, nullptr, WNOHANG) == -1 && errno == ECHILD);
}

// A grandchild that keeps the output pipe open, idle or busy writing, must not hold up run(): a run
// held up would end at its time limit, well before the grandchild.
TEST(ProcessRunnerRun, AGrandchildHoldingTheOutputOpenDoesNotHoldUpRun) {
  for (const std::string grandchild : {"sleep 10", "yes"}) {
    SCOPED_TRACE(grandchild);
    const auto result = PosixProcessRunner().run(kShell, {"-c", grandchild + " & echo done; exit 4"}, {5s, 64 * kMiB});
    EXPECT_TRUE(result.exitCode == 4 && result.output.find("done\n") != std::string::npos)
        << ::testing::PrintToString(result);
  }
}

// Each child first says its pid, since the result carries none. It and all it starts carry the test's
// sim root in their environment, which finds whatever of its group is left running.
TEST_F(ProcessRunnerFiles, AToolPastItsTimeOrOutputLimitIsEndedWithItsWholeGroupAndFlagged) {
  const std::string pid = root() / "pid";
  const std::string record = "echo $$ > " + pid + "; ";
  constexpr auto time = LimitExceeded::time, output = LimitExceeded::output, none = LimitExceeded::none;
  // What the child does, its script and limits, the limit it passes, and whether it is given 4 MiB of input.
  const std::tuple<std::string, std::string, RunLimits, LimitExceeded, bool> cases[] = {
      {"never ends", "sleep 60", {1s, kMiB}, time, false},
      {"never ends, nor reads its input", "sleep 60", {1s, kMiB}, time, true},
      {"closes its output, then never ends", "exec >&- 2>&-; sleep 60", {1s, kMiB}, time, false},
      {"waits on a grandchild holding the pipe", "sleep 60 & wait", {1s, kMiB}, time, false},
      {"floods", "exec yes", {1min, kMiB}, output, false},
      {"a grandchild floods", "yes & wait", {1min, kMiB}, output, false},
      {"ends flooding", "head -c 1025 /dev/zero", {1min, 1024}, output, false},
      {"ends with exactly the cap", "head -c 1024 /dev/zero", {1min, 1024}, none, false},
  };
  for (const auto& [name, script, limits, exceeded, fed] : cases) {
    SCOPED_TRACE(name);
    PosixProcessRunner runner;
    const auto result = fed ? runner.runWithInput(kShell, {"-c", record + script}, std::string(4 * kMiB, 'x'), limits)
                            : runner.run(kShell, {"-c", record + script}, limits);
    if (exceeded == none) {
      EXPECT_EQ(result, (ProcessResult{0, std::string(1024, '\0')}));
      continue;
    }
    EXPECT_EQ(result, (ProcessResult{ProcessResult::EndedAtLimit, "", exceeded}));
    EXPECT_TRUE(test::eventually([&] { return test::processesOf(root()).empty(); }));
    const pid_t child = std::atoi(sim::readFile(pid).value_or("").c_str());
    EXPECT_TRUE(child > 0 && ::waitpid(child, nullptr, WNOHANG) == -1 && errno == ECHILD);  // collected
  }
}

}  // namespace
}  // namespace corvel
