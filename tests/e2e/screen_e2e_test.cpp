// Corvel's screen end to end: a terminal of its own (a pseudo-terminal), or, started without one as
// the watchdog starts it, the log it writes and the desktop pipe it reads.
#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <pty.h>
#include <span>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "sim/desktop.h"
#include "sim/sim_root.h"
#include "tests/support/sim_root_fixture.h"

namespace corvel {
namespace {
namespace fs = std::filesystem;
using test::eventually;

// Corvel as a child in a session of its own, with `terminal` (else /dev/null) as its standard
// input, output and error, and `ignored` ignored as a shell's nohup does.
pid_t launch(int terminal, int ignored = 0) {
  const std::string program = (test::binFolder() / "Corvel").string();
  char* const argv[] = {const_cast<char*>(program.c_str()), nullptr};
  // Made before the fork: a child of a process with threads (a sanitizer's own) may not allocate.
  std::vector<std::string> settings{"CORVEL_SKIP_SERVICE=1", "CORVEL_NO_TOGGLE=1"};
  std::vector<char*> environment;
  for (std::string& setting : settings) environment.push_back(setting.data());
  for (char** variable = environ; *variable; ++variable) environment.push_back(*variable);
  environment.push_back(nullptr);
  const int screen = terminal >= 0 ? terminal : ::open("/dev/null", O_RDWR | O_CLOEXEC);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setsid();
    if (terminal >= 0) ::ioctl(terminal, TIOCSCTTY, 0);
    for (int fd : {0, 1, 2}) ::dup2(screen, fd);
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    if (ignored) ::signal(ignored, SIG_IGN);
    ::execve(argv[0], argv, environment.data());
    ::_exit(127);
  }
  if (terminal < 0) ::close(screen);
  return pid;
}

class Screen : public test::SimRootTest {
 protected:
  void TearDown() override { end(), SimRootTest::TearDown(); }
  void end() {
    if (pid_ > 0 && ::kill(pid_, SIGKILL) == 0) ::waitpid(pid_, nullptr, 0);
    for (int fd : {master_, terminal_}) ::close(fd);
  }
  // A fresh terminal, with a fresh Corvel on it.
  void atTerminal(int ignored = 0) {
    end();
    shown_.clear(), seen_ = 0;
    ASSERT_EQ(::openpty(&master_, &terminal_, nullptr, nullptr, nullptr), 0);
    ::fcntl(master_, F_SETFL, O_NONBLOCK);
    pid_ = launch(terminal_, ignored);
    ASSERT_TRUE(shows("メニューバー: "));
  }
  // What the terminal has shown since the last text found.
  bool shows(const std::string& text) {
    return eventually([&] {
      char buffer[4096];
      for (ssize_t n; (n = ::read(master_, buffer, sizeof buffer)) > 0;) shown_.append(buffer, n);
      const auto at = shown_.find(text, seen_);
      if (at != std::string::npos) seen_ = at + text.size();
      return at != std::string::npos;
    });
  }
  void type(const std::string& keys) { ASSERT_EQ(::write(master_, keys.data(), keys.size()), ssize_t(keys.size())); }
  bool echoes() {
    termios settings{};
    return ::tcgetattr(terminal_, &settings) == 0 && (settings.c_lflag & ECHO);
  }
  void unattended() {
    pid_ = launch(-1);
    ASSERT_TRUE(eventually([&] { return log().find("メニューバー: ") != std::string::npos; })) << log();
  }
  std::string log(const char* name = "corvel.log") { return sim::readFile(root() / name).value_or(""); }
  std::size_t titles() {
    const std::string text = log();
    std::size_t n = 0;
    for (auto at = text.find("メニューバー: "); at != std::string::npos; at = text.find("メニューバー: ", at + 1)) ++n;
    return n;
  }

  pid_t pid_ = -1;
  int master_ = -1, terminal_ = -1;
  std::string shown_;
  std::size_t seen_ = 0;
};

// A signal at the password prompt, where the terminal does not echo, must not leave the person's
// shell without echo; a signal ignored on purpose stays ignored, and the password is still not shown.
TEST_F(Screen, TheTerminalEchoesAgainWhenCorvelIsSignalledAtThePasswordPrompt) {
  // The signal, the keys typed instead of sending it (the terminal then sends it itself), and whether
  // whoever started Corvel ignores it.
  const std::tuple<int, const char*, bool> rows[] = {{SIGTERM, nullptr, false},
                                                     {SIGHUP, nullptr, false},
                                                     {SIGINT, "\x03", false},
                                                     {SIGQUIT, "\x1c", false},
                                                     {SIGHUP, nullptr, true}};
  for (const auto& [signal, keys, ignored] : rows) {
    SCOPED_TRACE(std::string(::strsignal(signal)) + (ignored ? ", ignored" : ""));
    atTerminal(ignored ? signal : 0);
    for (const auto& [typed, text] : std::span(test::setUpRemoteStrong).first(3)) {
      type(typed + "\n");
      ASSERT_TRUE(shows(text));
    }
    ASSERT_TRUE(eventually([&] { return !echoes(); }));
    keys ? type(keys) : void(::kill(pid_, signal));
    if (ignored) {
      type("corvel\n");
      ASSERT_TRUE(eventually([&] { return echoes(); }));
      type("続ける\n");
      EXPECT_TRUE(shows("管理者の承認")) << shown_;
      EXPECT_EQ(shown_.find("corvel\r\n"), std::string::npos) << shown_;
    } else {
      const pid_t ended = std::exchange(pid_, -1);
      int status = 0;
      ASSERT_EQ(::waitpid(ended, &status, 0), ended);
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
      EXPECT_TRUE(echoes());
    }
  }
}

// Someone may remove or replace the desktop pipe while Corvel runs unattended: it then reads the
// one at the name, and what is planted there instead of a pipe is set aside as it is, never read.
TEST_F(Screen, ADesktopPipeReplacedWhileRunningIsOpenedAgainButNothingPlantedIsRead) {
  const fs::path desktop = root() / "desktop", target = root() / "target", planted = root() / "planted";
  sim::replaceFileAtomically(target, "click\n");
  const std::pair<const char*, std::function<void()>> cases[] = {
      {"a new pipe", [&] { ::mkfifo(planted.c_str(), 0600); }},
      {"nothing", [] {}},
      {"a file of commands", [&] { fs::copy_file(target, planted); }},
      {"a link to commands", [&] { fs::create_symlink(target, planted); }},
  };
  unattended();
  std::size_t clicks = 0;
  for (const auto& [name, plant] : cases) {
    SCOPED_TRACE(name);
    plant();
    // In one step, so that Corvel never finds the name empty in between.
    fs::exists(fs::symlink_status(planted)) ? fs::rename(planted, desktop) : void(fs::remove(desktop));
    ASSERT_TRUE(eventually([&] { return sim::writeToDesktopPipe(root(), "click\n"); }));
    ++clicks;
    ASSERT_TRUE(eventually([&] { return titles() > clicks; })) << log();
  }
  ::usleep(300000);
  EXPECT_EQ(titles(), clicks + 1) << log();
  std::vector<fs::file_type> aside;
  for (const auto& entry : test::entriesOf(root(), "desktop.")) {
    aside.push_back(fs::symlink_status(entry).type());
    EXPECT_EQ(sim::readFile(entry), "click\n");
  }
  std::sort(aside.begin(), aside.end());
  EXPECT_EQ(aside, (std::vector{fs::file_type::regular, fs::file_type::symlink}));
  EXPECT_EQ(sim::readFile(target), "click\n");
}

// 200 KB of lines that mean nothing once added 12 MB to the log. Now they get an explanation a
// second, the log is moved aside before it outgrows its bound, and a good line after them works.
// The lines that set the machine's condition change it only with a value that reads, and a file
// that cannot be replaced is said to be so without ending Corvel.
TEST_F(Screen, BadLinesAreExplainedBrieflyChangeNothingAndTheLogKeepsItsBound) {
  constexpr std::size_t bound = 1 << 20;
  const std::string earlier(bound - 200, '.');
  sim::replaceFileAtomically(root() / "corvel.log", earlier);
  sim::replaceFileAtomically(root() / "corvel.log.1", "the oldest\n");
  unattended();
  std::string flood;
  for (int i = 0; i < 100000; ++i) flood += "x\n";
  std::ofstream(root() / "desktop") << flood + "click\n";
  ASSERT_TRUE(
      eventually([&] { return log().find("メニューバー: 🟢") != std::string::npos; }, std::chrono::seconds(60)))
      << log().substr(0, 2000);
  EXPECT_LT(log().size(), 64u << 10);
  EXPECT_NE(log().find("行読み捨てました"), std::string::npos) << log().substr(0, 2000);
  EXPECT_TRUE(log("corvel.log.1").starts_with(earlier + "メニューバー: ⚫"));
  EXPECT_LE(log("corvel.log.1").size(), bound);

  std::ofstream(root() / "desktop") << "battery 42 battery\nthermal serious\nlid closed\nbattery 101 ac\nbattery 42\n"
                                       "thermal hot\nlid ajar\nlock-screen\n";
  ASSERT_TRUE(eventually([&] { return macValue("session-locked") == "1"; })) << log();
  EXPECT_EQ(std::tuple(macValue("battery"), macValue("thermal"), macValue("lid")),
            std::tuple("42 battery", "serious", "closed"))
      << "(battery, thermal, lid)";
  fs::remove(root() / "mac/lid");
  fs::create_directory(root() / "mac/lid");
  std::ofstream(root() / "desktop") << "lid open\nunlock-screen\n";
  ASSERT_TRUE(eventually([&] { return macValue("session-locked") == "0"; })) << log();
  EXPECT_NE(log().find("mac/lid を書き換えられませんでした"), std::string::npos) << log();
}

}  // namespace
}  // namespace corvel
