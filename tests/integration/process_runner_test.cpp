// The POSIX process runner against real child processes: output, exit codes, input, descriptors.
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <map>
#include <ostream>
#include <optional>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "platform/posix/process_runner_posix.h"
#include "tests/support/sim_root_fixture.h"

namespace corvel {

// Internal linkage so another test file's printer for the same type cannot collide at link time.
static void PrintTo(const ProcessResult& result, std::ostream* out) {
  *out << "{exitCode " << result.exitCode << ", output ";
  if (result.output.size() > 200) {
    *out << result.output.size() << " bytes}";
  } else {
    *out << ::testing::PrintToString(result.output) << "}";
  }
}

namespace {
namespace fs = std::filesystem;
using ::testing::HasSubstr;

const std::string kShell = "/bin/sh";
constexpr std::size_t kMiB = 1024 * 1024;

std::string helper(const std::string& name) { return test::testHelper(name).string(); }

// What write_bytes produces, so large output can be compared byte for byte.
std::string pattern(std::size_t size) {
  std::string text(size, '\0');
  for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char>('!' + i % 89);
  return text;
}

std::string slurp(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class TempFolder {
 public:
  TempFolder() {
    std::string templ = (fs::temp_directory_path() / "corvel-runner-XXXXXX").string();
    if (::mkdtemp(templ.data())) path_ = templ;
  }
  ~TempFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  fs::path operator/(const std::string& name) const { return path_ / name; }

 private:
  fs::path path_;
};

// Points this process's standard input at a file for a while, so what a child inherits is known
// whatever the test harness handed us (possibly nothing at all).
class StandardInputFrom {
 public:
  explicit StandardInputFrom(const fs::path& file) : saved_(::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3)) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    ::dup2(fd, STDIN_FILENO);
    ::close(fd);
  }
  ~StandardInputFrom() {
    if (saved_ >= 0) {
      ::dup2(saved_, STDIN_FILENO);
      ::close(saved_);
    } else {
      ::close(STDIN_FILENO);
    }
  }
  StandardInputFrom(const StandardInputFrom&) = delete;
  StandardInputFrom& operator=(const StandardInputFrom&) = delete;

 private:
  int saved_;
};

struct FileIdentity {
  unsigned long long device = 0;
  unsigned long long inode = 0;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

FileIdentity identityOf(const fs::path& file) {
  struct stat info {};
  ::stat(file.c_str(), &info);
  return {static_cast<unsigned long long>(info.st_dev), static_cast<unsigned long long>(info.st_ino)};
}

// fd_report writes one "fd device inode" line per open descriptor.
std::map<int, FileIdentity> parseReport(const std::string& report) {
  std::map<int, FileIdentity> open;
  std::istringstream lines(report);
  int fd;
  FileIdentity identity;
  while (lines >> fd >> identity.device >> identity.inode) open[fd] = identity;
  return open;
}

std::vector<int> descriptorsIn(const std::map<int, FileIdentity>& report) {
  std::vector<int> fds;
  for (const auto& [fd, identity] : report) fds.push_back(fd);
  return fds;
}

bool waitUntilEnded(ChildProcess& child) {
  for (int i = 0; i < 1000 && child.isRunning(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return !child.isRunning();
}

void killRecordedPid(const fs::path& pidFile) {
  const std::string text = slurp(pidFile);
  if (!text.empty()) ::kill(static_cast<pid_t>(std::stol(text)), SIGKILL);
}

bool sigpipePending() {
  sigset_t pending;
  sigpending(&pending);
  return sigismember(&pending, SIGPIPE) == 1;
}

TEST(ProcessRunnerOutput, StdoutAndStderrInterleaveInArrivalOrder) {
  std::string expected;
  for (int i = 0; i < 200; ++i) expected += (i % 2 == 0 ? "out " : "err ") + std::to_string(i) + "\n";
  EXPECT_EQ(PosixProcessRunner().run(helper("interleave"), {"200"}), (ProcessResult{0, expected}));
}

TEST(ProcessRunnerOutput, ArgumentsArriveVerbatimAndOutputIsNotTrimmed) {
  const std::vector<std::string> arguments = {
      "-c", "printf '[%s]\\n' \"$@\"; printf '  \\n\\n'", "sh", "a b", "", "$HOME", "*", "\"q\" 'r' \\s", " "};
  EXPECT_EQ(PosixProcessRunner().run(kShell, arguments),
            (ProcessResult{0, "[a b]\n[]\n[$HOME]\n[*]\n[\"q\" 'r' \\s]\n[ ]\n  \n\n"}));
}

TEST(ProcessRunnerOutput, InheritsEnvironmentAndWorkingDirectory) {
  ::setenv("CORVEL_RUNNER_PROBE", "probe value", 1);
  const auto result = PosixProcessRunner().run(kShell, {"-c", "printf '%s|%s' \"$CORVEL_RUNNER_PROBE\" \"$(pwd -P)\""});
  ::unsetenv("CORVEL_RUNNER_PROBE");
  EXPECT_EQ(result, (ProcessResult{0, "probe value|" + fs::canonical(fs::current_path()).string()}));
}

TEST(ProcessRunnerOutput, LargeOutputArrivesWholeAndInOrder) {
  for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{65535}, std::size_t{65536},
                                 std::size_t{65537}, kMiB, 8 * kMiB}) {
    SCOPED_TRACE(size);
    const auto result = PosixProcessRunner().run(helper("write_bytes"), {std::to_string(size)});
    EXPECT_EQ(result.exitCode, 0);
    ASSERT_EQ(result.output.size(), size);
    EXPECT_TRUE(result.output == pattern(size));
  }
}

TEST(ProcessRunnerOutput, OnlyValidUtf8IsReturnedAndTheExitCodeAlways) {
  struct Case {
    const char* name;
    std::string script;
    ProcessResult expected;
  };
  const std::vector<Case> cases = {
      {"japanese", "printf '日本語のテキスト\\n'; exit 2", {2, "日本語のテキスト\n"}},
      // A character split across two reads must be judged as a whole.
      {"character across a read boundary",
       "head -c 65535 /dev/zero | tr '\\000' a; printf '日本'",
       {0, std::string(65535, 'a') + "日本"}},
      {"stray continuation byte", "printf 'ok\\200'; exit 3", {3, ""}},
      {"invalid first byte", "printf '\\377ok'", {0, ""}},
      {"overlong slash", "printf '\\300\\257'; exit 1", {1, ""}},
      {"encoded surrogate", "printf '\\355\\240\\200'", {0, ""}},
      {"truncated at the end", "printf '日本\\343\\201'; exit 9", {9, ""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(PosixProcessRunner().run(kShell, {"-c", c.script}), c.expected);
  }
}

TEST(ProcessRunnerExit, ExitCodesComeBackUnchangedWithTheOutput) {
  for (const int code : {0, 1, 2, 42, 127, 255}) {
    SCOPED_TRACE(code);
    const std::string script = "echo to-out; echo to-err >&2; exit " + std::to_string(code);
    EXPECT_EQ(PosixProcessRunner().run(kShell, {"-c", script}), (ProcessResult{code, "to-out\nto-err\n"}));
  }
}

TEST(ProcessRunnerExit, DeathBySignalReportsAs128PlusTheSignal) {
  for (const int signalNumber : {SIGHUP, SIGINT, SIGKILL, SIGUSR1, SIGPIPE, SIGTERM}) {
    SCOPED_TRACE(signalNumber);
    EXPECT_EQ(PosixProcessRunner().run(helper("raise_signal"), {std::to_string(signalNumber)}),
              (ProcessResult{128 + signalNumber, "before\n"}));
  }
}

TEST(ProcessRunnerExit, ChildStartsWithSigpipeDefaultAndNothingBlocked) {
  // A shell cannot undo a signal ignored on entry, and a blocked one stays blocked across exec: if
  // either leaked from us, the shell would survive its own kill and print.
  struct Case {
    const char* name;
    int signalNumber;
    bool ignoreInParent;
  };
  const std::vector<Case> cases = {
      {"ignored SIGPIPE", SIGPIPE, true},
      {"blocked SIGPIPE", SIGPIPE, false},
      {"blocked SIGUSR1", SIGUSR1, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    struct sigaction previousAction {};
    sigset_t only, previousMask;
    sigemptyset(&only);
    sigaddset(&only, c.signalNumber);
    if (c.ignoreInParent) {
      struct sigaction ignore {};
      ignore.sa_handler = SIG_IGN;
      ::sigaction(c.signalNumber, &ignore, &previousAction);
    } else {
      pthread_sigmask(SIG_BLOCK, &only, &previousMask);
    }
    const std::string script = "kill -" + std::to_string(c.signalNumber) + " $$; echo survived";
    const auto result = PosixProcessRunner().run(kShell, {"-c", script});
    if (c.ignoreInParent) {
      ::sigaction(c.signalNumber, &previousAction, nullptr);
    } else {
      pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
    }
    EXPECT_EQ(result, (ProcessResult{128 + c.signalNumber, ""}));
  }
}

TEST(ProcessRunnerExit, ToolsThatCannotStartGiveMinusOneAndNothing) {
  TempFolder folder;
  const fs::path plainFile = folder / "not-executable";
  std::ofstream(plainFile) << "#!/bin/sh\necho should not run\n";
  fs::permissions(plainFile, fs::perms::owner_read | fs::perms::owner_write);
  const std::vector<std::string> paths = {"/nonexistent/corvel-tool", plainFile.string(),
                                          fs::temp_directory_path().string(),
                                          // No search of PATH: a bare name is not found.
                                          "sh"};
  PosixProcessRunner runner;
  for (const auto& path : paths) {
    SCOPED_TRACE(path);
    EXPECT_EQ(runner.run(path, {}), (ProcessResult{-1, ""}));
    EXPECT_EQ(runner.runWithInput(path, {}, std::string(kMiB, 'x')), (ProcessResult{-1, ""}));
    EXPECT_TRUE(runner.launch(path, {}) == nullptr);
  }
}

TEST(ProcessRunnerInput, InputReachesTheChildByteExact) {
  const std::vector<std::string> inputs = {
      "one line\n",
      "  leading and trailing blanks  \n\n",
      "\"double\" 'single' back\\slash $HOME * `cmd` \\n\ttab",
      "no final line feed",
      std::string("nul\0inside", 10),
      "日本語\n",
  };
  for (const auto& input : inputs) {
    SCOPED_TRACE(input);
    EXPECT_EQ(PosixProcessRunner().runWithInput("/bin/cat", {}, input), (ProcessResult{0, input}));
  }
}

TEST(ProcessRunnerInput, LargeInputFlowsWhileTheEchoedOutputIsDrained) {
  const std::string input = pattern(4 * kMiB);
  const auto result = PosixProcessRunner().runWithInput("/bin/cat", {}, input);
  EXPECT_EQ(result.exitCode, 0);
  ASSERT_EQ(result.output.size(), input.size());
  EXPECT_TRUE(result.output == input);
}

TEST(ProcessRunnerInput, EmptyInputClosesStandardInputAtOnce) {
  EXPECT_EQ(PosixProcessRunner().runWithInput(kShell, {"-c", "read x; echo \"got:$?:$x\""}, ""),
            (ProcessResult{0, "got:1:\n"}));
}

TEST(ProcessRunnerInput, ChildThatStopsReadingNeverBringsTheParentDown) {
  struct sigaction current {};
  ::sigaction(SIGPIPE, nullptr, &current);
  // With SIGPIPE ignored the test would prove nothing.
  ASSERT_EQ(current.sa_handler, SIG_DFL);
  ASSERT_FALSE(sigpipePending());
  sigset_t maskBefore;
  pthread_sigmask(SIG_SETMASK, nullptr, &maskBefore);

  struct Case {
    const char* name;
    std::string executable;
    std::vector<std::string> arguments;
    ProcessResult expected;
  };
  const std::vector<Case> cases = {
      {"closes stdin and lingers", helper("close_stdin"), {"6", "300"}, {6, "closed\n"}},
      {"closes stdin and leaves", helper("close_stdin"), {"0", "0"}, {0, "closed\n"}},
      {"never reads", kShell, {"-c", "echo bye; exit 7"}, {7, "bye\n"}},
      {"reads one line", kShell, {"-c", "read x; echo \"$x\"; exit 5"}, {5, "first\n"}},
  };
  const std::string input = "first\n" + pattern(4 * kMiB);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(PosixProcessRunner().runWithInput(c.executable, c.arguments, input), c.expected);
    EXPECT_FALSE(sigpipePending());
    sigset_t maskAfter;
    pthread_sigmask(SIG_SETMASK, nullptr, &maskAfter);
    EXPECT_EQ(sigismember(&maskAfter, SIGPIPE), sigismember(&maskBefore, SIGPIPE));
  }
}

class ProcessRunnerDescriptors : public ::testing::Test {
 protected:
  void SetUp() override {
    std::ofstream(stdinFile_) << "from the parent's standard input\n";
    stdin_.emplace(stdinFile_);
    // Deliberately without close-on-exec, as a careless library or our own parent might leave them.
    leakyFile_ = ::open("/dev/null", O_RDONLY);
    ASSERT_EQ(::pipe(leakyPipe_), 0);
  }
  void TearDown() override {
    ::close(leakyFile_);
    ::close(leakyPipe_[0]);
    ::close(leakyPipe_[1]);
    stdin_.reset();
  }

  TempFolder folder_;
  fs::path stdinFile_ = folder_ / "stdin";
  std::optional<StandardInputFrom> stdin_;
  int leakyFile_ = -1;
  int leakyPipe_[2] = {-1, -1};
};

TEST_F(ProcessRunnerDescriptors, RunSharesStandardInputAndNothingElse) {
  const auto result = PosixProcessRunner().run(helper("fd_report"), {});
  ASSERT_EQ(result.exitCode, 0);
  const auto report = parseReport(result.output);
  EXPECT_THAT(descriptorsIn(report), ::testing::ElementsAre(0, 1, 2));
  EXPECT_EQ(report.at(0), identityOf(stdinFile_));
  EXPECT_EQ(PosixProcessRunner().run("/bin/cat", {}), (ProcessResult{0, "from the parent's standard input\n"}));
}

TEST_F(ProcessRunnerDescriptors, RunWithInputGivesAFreshPipeAndNothingElse) {
  const auto result = PosixProcessRunner().runWithInput(helper("fd_report"), {}, "ignored");
  ASSERT_EQ(result.exitCode, 0);
  const auto report = parseReport(result.output);
  EXPECT_THAT(descriptorsIn(report), ::testing::ElementsAre(0, 1, 2));
  EXPECT_NE(report.at(0), identityOf(stdinFile_));
}

TEST_F(ProcessRunnerDescriptors, LaunchedChildWritesToTheNullDeviceAndGetsNothingElse) {
  const fs::path reportFile = folder_ / "report";
  auto child = PosixProcessRunner().launch(helper("fd_report"), {reportFile.string()});
  ASSERT_NE(child, nullptr);
  ASSERT_TRUE(waitUntilEnded(*child));
  const auto report = parseReport(slurp(reportFile));
  EXPECT_THAT(descriptorsIn(report), ::testing::ElementsAre(0, 1, 2));
  EXPECT_EQ(report.at(0), identityOf(stdinFile_));
  EXPECT_EQ(report.at(1), identityOf("/dev/null"));
  EXPECT_EQ(report.at(2), identityOf("/dev/null"));
}

TEST(ProcessRunnerLaunch, RunsUntilTerminated) {
  auto child = PosixProcessRunner().launch("/bin/sleep", {"30"});
  ASSERT_NE(child, nullptr);
  EXPECT_GT(child->pid(), 0);
  EXPECT_TRUE(child->isRunning());
  child->terminate();
  EXPECT_TRUE(waitUntilEnded(*child));
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

TEST(ProcessRunnerGrandchild, GrandchildHoldingTheOutputOpenDoesNotHoldUpRun) {
  // The grandchild records its pid so it can be ended here; the output must still hold the child's line.
  for (const std::string grandchild : {"sleep 30", "yes"}) {
    SCOPED_TRACE(grandchild);
    TempFolder folder;
    const fs::path pidFile = folder / "pid";
    const std::string script = grandchild + " & echo $! > \"$1\"; echo done; exit 4";
    const auto result = PosixProcessRunner().run(kShell, {"-c", script, "sh", pidFile.string()});
    killRecordedPid(pidFile);
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
