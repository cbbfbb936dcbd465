// The POSIX process runner against real child processes: output, exit codes, input, descriptors.
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <map>
#include <optional>
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
using ::testing::HasSubstr;
using ::testing::Key;
using ::testing::Pair;

const std::string kShell = "/bin/sh";
constexpr std::size_t kMiB = 1024 * 1024;
using FileIdentity = std::pair<unsigned long long, unsigned long long>;  // device, inode

std::string helper(const std::string& name) { return test::testHelper(name).string(); }

// What write_bytes produces, so large output can be compared byte for byte.
std::string pattern(std::size_t size) {
  std::string text(size, '\0');
  for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char>('!' + i % 89);
  return text;
}

std::string slurp(const fs::path& file) {
  std::ostringstream text;
  text << std::ifstream(file, std::ios::binary).rdbuf();
  return text.str();
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

bool waitUntilEnded(ChildProcess& child) {
  for (int i = 0; i < 1000 && child.isRunning(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return !child.isRunning();
}

bool sigpipePending() {
  sigset_t pending;
  sigpending(&pending);
  return sigismember(&pending, SIGPIPE) == 1;
}

// Only for the fresh temporary folder it makes and removes.
class ProcessRunnerFiles : public test::SimRootTest {};

TEST(ProcessRunnerRun, ReturnsTheExitCodeAndExactOutputForAnyArgumentsAndInput) {
  struct Case {
    std::string name, executable;
    std::vector<std::string> arguments;
    ProcessResult expected;
    std::optional<std::string> input = std::nullopt;  // given with runWithInput
  };
  std::string interleaved;
  for (int i = 0; i < 200; ++i) interleaved += (i % 2 == 0 ? "out " : "err ") + std::to_string(i) + "\n";
  std::vector<Case> cases = {
      {"stdout and stderr in arrival order", helper("interleave"), {"200"}, {0, interleaved}},
      {"arguments verbatim, output untrimmed", kShell,
       {"-c", "printf '[%s]\\n' \"$@\"; printf '  \\n\\n'", "sh", "a b", "", "$HOME", "*", "\"q\" 'r' \\s", " "},
       {0, "[a b]\n[]\n[$HOME]\n[*]\n[\"q\" 'r' \\s]\n[ ]\n  \n\n"}},
      {"environment and working directory inherited", kShell,
       {"-c", "printf '%s|%s' \"$CORVEL_RUNNER_PROBE\" \"$(pwd -P)\""},
       {0, "probe value|" + fs::canonical(fs::current_path()).string()}},
  };
  const auto shell = [&](std::string name, std::string script, ProcessResult expected) {
    cases.push_back({std::move(name), kShell, {"-c", std::move(script)}, std::move(expected)});
  };
  shell("japanese", "printf '日本語のテキスト\\n'; exit 2", {2, "日本語のテキスト\n"});
  // A character split across two reads must be judged as a whole.
  shell("character across a read boundary", "head -c 65535 /dev/zero | tr '\\000' a; printf '日本'",
        {0, std::string(65535, 'a') + "日本"});
  shell("stray continuation byte", "printf 'ok\\200'; exit 3", {3, ""});
  shell("invalid first byte", "printf '\\377ok'", {0, ""});
  shell("overlong slash", "printf '\\300\\257'; exit 1", {1, ""});
  shell("encoded surrogate", "printf '\\355\\240\\200'", {0, ""});
  shell("truncated at the end", "printf '日本\\343\\201'; exit 9", {9, ""});
  for (const int code : {0, 1, 2, 42, 127, 255}) {
    shell("exit " + std::to_string(code), "echo to-out; echo to-err >&2; exit " + std::to_string(code),
          {code, "to-out\nto-err\n"});
  }
  for (const int signal : {SIGHUP, SIGINT, SIGKILL, SIGUSR1, SIGPIPE, SIGTERM}) {
    cases.push_back({"signal " + std::to_string(signal), helper("raise_signal"), {std::to_string(signal)},
                     {128 + signal, "before\n"}});
  }
  for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{65535}, std::size_t{65536},
                                 std::size_t{65537}, kMiB, 8 * kMiB}) {
    const std::string bytes = std::to_string(size);
    cases.push_back({bytes + " bytes", helper("write_bytes"), {bytes}, {0, pattern(size)}});
  }
  for (const std::string& input : {std::string("one line\n"), std::string("  leading and trailing blanks  \n\n"),
                                   std::string("\"double\" 'single' back\\slash $HOME * `cmd` \\n\ttab"),
                                   std::string("no final line feed"), std::string("nul\0inside", 10),
                                   std::string("日本語\n"), pattern(4 * kMiB)}) {
    cases.push_back({"input " + input.substr(0, 40), "/bin/cat", {}, {0, input}, input});
  }
  cases.push_back({"no input: stdin closed at once", kShell, {"-c", "read x; echo \"$?:$x\""}, {0, "1:\n"}, ""});
  ::setenv("CORVEL_RUNNER_PROBE", "probe value", 1);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PosixProcessRunner runner;
    const auto result = c.input ? runner.runWithInput(c.executable, c.arguments, *c.input)
                                : runner.run(c.executable, c.arguments);
    EXPECT_EQ(result, c.expected);
  }
  ::unsetenv("CORVEL_RUNNER_PROBE");
}

TEST(ProcessRunnerRun, ChildStartsWithSigpipeDefaultAndNothingBlocked) {
  // A shell cannot undo a signal ignored on entry, and a blocked one stays blocked across exec: if
  // either leaked from us, the shell would survive its own kill and print.
  const struct { int signal; bool ignore; } cases[] = {{SIGPIPE, true}, {SIGPIPE, false}, {SIGUSR1, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.signal) + (c.ignore ? " ignored" : " blocked"));
    struct sigaction ignore {}, previousAction {};
    ignore.sa_handler = SIG_IGN;
    sigset_t only, previousMask;
    sigemptyset(&only);
    sigaddset(&only, c.signal);
    c.ignore ? ::sigaction(c.signal, &ignore, &previousAction) : pthread_sigmask(SIG_BLOCK, &only, &previousMask);
    const std::string script = "kill -" + std::to_string(c.signal) + " $$; echo survived";
    const auto result = PosixProcessRunner().run(kShell, {"-c", script});
    c.ignore ? ::sigaction(c.signal, &previousAction, nullptr) : pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
    EXPECT_EQ(result, (ProcessResult{128 + c.signal, ""}));
  }
}

TEST_F(ProcessRunnerFiles, ToolsThatCannotStartGiveMinusOneAndNothing) {
  const fs::path plainFile = root() / "not-executable";
  std::ofstream(plainFile) << "#!/bin/sh\necho should not run\n";
  fs::permissions(plainFile, fs::perms::owner_read | fs::perms::owner_write);
  PosixProcessRunner runner;
  // No search of PATH: a bare name is not found.
  for (const auto& path : {std::string("/nonexistent/corvel-tool"), plainFile.string(),
                           fs::temp_directory_path().string(), std::string("sh")}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(runner.run(path, {}), (ProcessResult{-1, ""}));
    EXPECT_EQ(runner.runWithInput(path, {}, std::string(kMiB, 'x')), (ProcessResult{-1, ""}));
    EXPECT_TRUE(runner.launch(path, {}) == nullptr);
  }
}

TEST(ProcessRunnerInput, ChildThatStopsReadingNeverBringsTheParentDown) {
  struct sigaction current {};
  ::sigaction(SIGPIPE, nullptr, &current);
  // With SIGPIPE ignored the test would prove nothing.
  ASSERT_EQ(current.sa_handler, SIG_DFL);
  ASSERT_FALSE(sigpipePending());
  sigset_t maskBefore, maskAfter;
  pthread_sigmask(SIG_SETMASK, nullptr, &maskBefore);
  const struct { std::string executable; std::vector<std::string> arguments; ProcessResult expected; } cases[] = {
      {helper("close_stdin"), {"6", "300"}, {6, "closed\n"}},  // closes standard input and lingers
      {helper("close_stdin"), {"0", "0"}, {0, "closed\n"}},
      {kShell, {"-c", "echo bye; exit 7"}, {7, "bye\n"}},
      {kShell, {"-c", "read x; echo \"$x\"; exit 5"}, {5, "first\n"}},
  };
  const std::string input = "first\n" + pattern(4 * kMiB);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments.back());
    EXPECT_EQ(PosixProcessRunner().runWithInput(c.executable, c.arguments, input), c.expected);
    EXPECT_FALSE(sigpipePending());
    pthread_sigmask(SIG_SETMASK, nullptr, &maskAfter);
    EXPECT_EQ(sigismember(&maskAfter, SIGPIPE), sigismember(&maskBefore, SIGPIPE));
  }
}

TEST_F(ProcessRunnerFiles, ChildrenGetTheStandardThreeDescriptorsAndNothingElse) {
  const fs::path stdinFile = root() / "stdin", reportFile = root() / "report";
  std::ofstream(stdinFile) << "from the parent's standard input\n";
  const FileIdentity parentInput = identityOf(stdinFile), nullDevice = identityOf("/dev/null");
  // A known standard input, whatever the harness handed us (possibly none); nothing may return early
  // until it is put back.
  const int savedInput = ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3);
  if (const int input = ::open(stdinFile.c_str(), O_RDONLY); input != STDIN_FILENO) {
    ::dup2(input, STDIN_FILENO);
    ::close(input);
  }
  // Deliberately without close-on-exec, as a careless library or our own parent might leave them.
  int leaky[3] = {::open("/dev/null", O_RDONLY), -1, -1};
  EXPECT_EQ(::pipe(leaky + 1), 0);
  PosixProcessRunner runner;
  const auto run = runner.run(helper("fd_report"), {});
  const auto withInput = runner.runWithInput(helper("fd_report"), {}, "ignored");
  auto launched = runner.launch(helper("fd_report"), {reportFile.string()});
  const bool ended = launched && waitUntilEnded(*launched);
  const auto cat = runner.run("/bin/cat", {});
  if (savedInput >= 0) ::dup2(savedInput, STDIN_FILENO);
  for (const int fd : {leaky[0], leaky[1], leaky[2], savedInput >= 0 ? savedInput : STDIN_FILENO}) ::close(fd);

  EXPECT_EQ(run.exitCode, 0);
  EXPECT_THAT(parseReport(run.output), ElementsAre(Pair(0, parentInput), Key(1), Key(2)));
  EXPECT_EQ(cat, (ProcessResult{0, "from the parent's standard input\n"}));
  EXPECT_EQ(withInput.exitCode, 0);
  EXPECT_THAT(parseReport(withInput.output), ElementsAre(Pair(0, ::testing::Ne(parentInput)), Key(1), Key(2)));
  ASSERT_TRUE(ended);
  EXPECT_THAT(parseReport(slurp(reportFile)),
              ElementsAre(Pair(0, parentInput), Pair(1, nullDevice), Pair(2, nullDevice)));
}

TEST(ProcessRunnerLaunch, DroppedChildIsReapedByALaterRun) {
  PosixProcessRunner runner;
  auto child = runner.launch("/bin/true", {});
  ASSERT_NE(child, nullptr);
  const pid_t pid = child->pid();
  child.reset();
  // Wait for the exit without collecting it, so only the runner can reap it.
  siginfo_t info{};
  ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT), 0);
  runner.run("/bin/true", {});
  errno = 0;
  EXPECT_EQ(::waitpid(pid, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}

TEST_F(ProcessRunnerFiles, GrandchildHoldingTheOutputOpenDoesNotHoldUpRun) {
  // The grandchild records its pid so it can be ended here; the output must still hold the child's line.
  for (const std::string grandchild : {"sleep 30", "yes"}) {
    SCOPED_TRACE(grandchild);
    const fs::path pidFile = root() / grandchild;
    const std::string script = grandchild + " & echo $! > \"$1\"; echo done; exit 4";
    const auto result = PosixProcessRunner().run(kShell, {"-c", script, "sh", pidFile.string()});
    if (const std::string pid = slurp(pidFile); !pid.empty()) ::kill(static_cast<pid_t>(std::stol(pid)), SIGKILL);
    EXPECT_EQ(result.exitCode, 4);
    if (grandchild == "yes") {
      EXPECT_THAT(result.output, HasSubstr("done\n"));
    } else {
      EXPECT_EQ(result.output, "done\n");
    }
  }
}

}  // namespace
}  // namespace corvel
