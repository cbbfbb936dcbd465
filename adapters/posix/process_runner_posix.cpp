// Spawning system tools with posix_spawn: output drained while the child runs, input fed without
// risking SIGPIPE, no descriptor of ours leaking into the child, and a tool past its time or output
// limit ended with its whole process group.
#include "process_runner_posix.h"

#include "process_info.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <poll.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/utf8.h"
#include "support/wait_status.h"

extern char** environ;

namespace corvel {
namespace {

class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  Fd(Fd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      close();
      fd_ = other.fd_;
      other.fd_ = -1;
    }
    return *this;
  }
  ~Fd() { close(); }
  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  void close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

bool makePipe(Fd& readEnd, Fd& writeEnd) {
  int fds[2];
#if defined(__APPLE__)
  // No pipe2 on macOS; the flags are set before any spawn can run on this thread.
  if (::pipe(fds) != 0) return false;
  ::fcntl(fds[0], F_SETFD, FD_CLOEXEC);
  ::fcntl(fds[1], F_SETFD, FD_CLOEXEC);
#else
  if (::pipe2(fds, O_CLOEXEC) != 0) return false;
#endif
  readEnd = Fd(fds[0]);
  writeEnd = Fd(fds[1]);
  return true;
}

// Dead children whose handles were dropped before they were reaped; collected opportunistically so
// they do not linger as zombies.
std::mutex orphansMutex;
std::vector<pid_t> orphans;

void reapOrphans() {
  std::lock_guard lock(orphansMutex);
  std::erase_if(orphans, [](pid_t pid) { return ::waitpid(pid, nullptr, WNOHANG) != 0; });
}

class SpawnSetup {
 public:
  SpawnSetup() {
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);  // a child must not inherit an ignored SIGPIPE
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
#if defined(POSIX_SPAWN_CLOEXEC_DEFAULT)
    flags |= POSIX_SPAWN_CLOEXEC_DEFAULT;  // macOS: only the descriptors named below survive
#endif
    posix_spawnattr_setflags(&attributes, flags);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  void startInOwnProcessGroup() {
    short flags = 0;
    posix_spawnattr_getflags(&attributes, &flags);
    posix_spawnattr_setflags(&attributes, static_cast<short>(flags | POSIX_SPAWN_SETPGROUP));
    posix_spawnattr_setpgroup(&attributes, 0);
  }

  void inheritStandardInput() {
#if defined(POSIX_SPAWN_CLOEXEC_DEFAULT)
    posix_spawn_file_actions_adddup2(&actions, STDIN_FILENO, STDIN_FILENO);
#endif
  }

  // Returns the child's pid, or -1 when it could not be started.
  pid_t spawn(const std::string& executable, const std::vector<std::string>& arguments) {
#if defined(__GLIBC__) && !defined(POSIX_SPAWN_CLOEXEC_DEFAULT)
    // Descriptors inherited from whoever started Corvel may lack close-on-exec; none of them is the
    // child's business.
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
#endif
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 2);
    argv.push_back(const_cast<char*>(executable.c_str()));
    for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawn(&pid, executable.c_str(), &actions, &attributes, argv.data(), environ) != 0) return -1;
    return pid;
  }

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
};

// Blocks SIGPIPE on this thread while the input is written; a signal raised by writing to a child
// that has gone is then taken back, so neither Corvel nor anyone else sees it.
class SigpipeGuard {
 public:
  SigpipeGuard() {
    sigset_t pending;
    sigpending(&pending);
    wasPending_ = sigismember(&pending, SIGPIPE) == 1;
    sigset_t block;
    sigemptyset(&block);
    sigaddset(&block, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &block, &previous_);
  }
  ~SigpipeGuard() {
    sigset_t pending;
    sigpending(&pending);
    if (!wasPending_ && sigismember(&pending, SIGPIPE) == 1) {
      sigset_t only;
      sigemptyset(&only);
      sigaddset(&only, SIGPIPE);
      int taken;
      sigwait(&only, &taken);
    }
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }
  SigpipeGuard(const SigpipeGuard&) = delete;
  SigpipeGuard& operator=(const SigpipeGuard&) = delete;

 private:
  sigset_t previous_;
  bool wasPending_ = false;
};

void setNonBlocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); }

using SteadyClock = std::chrono::steady_clock;

// For poll: what is left before `deadline`, never less than nothing and at most `most`.
int pollTimeout(SteadyClock::time_point deadline, std::chrono::milliseconds most) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now());
  return static_cast<int>(std::clamp(left, std::chrono::milliseconds(0), most).count());
}

// Once the child has ended, all it wrote is already in the pipe; anything arriving later comes from a
// grandchild that may never stop, so only what is buffered at this moment is taken. False when that
// would take `bytes` past `limit`.
bool takeBufferedOutput(int fd, std::string& bytes, std::size_t limit) {
  int available = 0;
  if (::ioctl(fd, FIONREAD, &available) != 0) return true;
  if (static_cast<std::size_t>(std::max(available, 0)) > limit - bytes.size()) return false;
  char buffer[65536];
  while (available > 0) {
    const ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, static_cast<std::size_t>(available)));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
    available -= static_cast<int>(n);
  }
  return true;
}

// Kills the child's whole process group and collects the child. The group cannot have been handed
// on, since the child, its leader, is not collected yet; the child is signalled apart too, should it
// have moved to another group. One stuck in the kernel past the signal is left to be collected
// later, so that the caller is never held.
void endProcessGroup(pid_t pid) {
  ::kill(-pid, SIGKILL);
  ::kill(pid, SIGKILL);
  for (int waited = 0; waited < 200; ++waited) {
    const pid_t collected = ::waitpid(pid, nullptr, WNOHANG);
    if (collected == pid || (collected < 0 && errno != EINTR)) return;
    ::usleep(5000);
  }
  std::lock_guard lock(orphansMutex);
  orphans.push_back(pid);
}

ProcessResult execute(const std::string& executable, const std::vector<std::string>& arguments,
                      const std::string* input, const RunLimits& limits) {
  const auto deadline = SteadyClock::now() + limits.time;
  reapOrphans();
  Fd outputRead, outputWrite, inputRead, inputWrite;
  if (!makePipe(outputRead, outputWrite)) return {-1, ""};
  if (input && !makePipe(inputRead, inputWrite)) return {-1, ""};

  SpawnSetup setup;
  // A group of its own lets a tool past its limits be ended with whatever it started. Such a group
  // is not the terminal's foreground group, so the terminal is kept out of reach: reading it would
  // stop the tool, and would take lines meant for Corvel.
  setup.startInOwnProcessGroup();
  if (input) {
    posix_spawn_file_actions_adddup2(&setup.actions, inputRead.get(), STDIN_FILENO);
  } else {
    posix_spawn_file_actions_addopen(&setup.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  }
  posix_spawn_file_actions_adddup2(&setup.actions, outputWrite.get(), STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&setup.actions, outputWrite.get(), STDERR_FILENO);
  const pid_t pid = setup.spawn(executable, arguments);
  if (pid < 0) return {-1, ""};
  // Only the child may hold these ends, or reading to end of file would never finish.
  outputWrite.close();
  inputRead.close();

  // Only writing input can raise SIGPIPE, so a plain run skips the signal-mask round trips.
  std::optional<SigpipeGuard> sigpipeGuard;
  std::size_t inputWritten = 0;
  if (input && input->empty()) inputWrite.close();
  if (inputWrite) {
    sigpipeGuard.emplace();
    setNonBlocking(inputWrite.get());
  }
  setNonBlocking(outputRead.get());

  std::string bytes;
  char buffer[65536];
  int status = 0;
  bool reaped = false;
  LimitExceeded exceeded = LimitExceeded::none;
  // With both pipes done only the exit is awaited, which follows the last close closely.
  std::chrono::milliseconds exitPoll(1);
  while (!reaped && exceeded == LimitExceeded::none) {
    pollfd fds[2] = {};
    nfds_t count = 0;
    pollfd* output = outputRead ? &(fds[count++] = {outputRead.get(), POLLIN, 0}) : nullptr;
    pollfd* inputSide = inputWrite ? &(fds[count++] = {inputWrite.get(), POLLOUT, 0}) : nullptr;
    // The 100 ms only matter when a grandchild keeps the output open after the child has ended.
    const int ready = ::poll(fds, count, pollTimeout(deadline, count ? std::chrono::milliseconds(100) : exitPoll));
    if (count == 0) exitPoll = std::min(exitPoll * 2, std::chrono::milliseconds(50));
    if (ready > 0 && inputSide && (inputSide->revents & (POLLOUT | POLLERR | POLLHUP))) {
      const ssize_t n = ::write(inputWrite.get(), input->data() + inputWritten, input->size() - inputWritten);
      if (n > 0) inputWritten += static_cast<std::size_t>(n);
      // A child that closed its input or ended early simply does not get the rest.
      if ((n < 0 && errno != EAGAIN && errno != EINTR) || inputWritten == input->size()) inputWrite.close();
    }
    if (ready > 0 && output && (output->revents & (POLLIN | POLLHUP | POLLERR))) {
      const ssize_t n = ::read(outputRead.get(), buffer, sizeof buffer);
      if (n > 0 && static_cast<std::size_t>(n) > limits.outputBytes - bytes.size()) {
        exceeded = LimitExceeded::output;
      } else if (n > 0) {
        bytes.append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
        outputRead.close();
      }
    }
    // Asked on every turn, not only when the pipe is quiet: a grandchild that never stops writing
    // would otherwise keep us here long after the child has ended.
    if (exceeded == LimitExceeded::none && ::waitpid(pid, &status, WNOHANG) == pid) {
      reaped = true;
      if (outputRead && !takeBufferedOutput(outputRead.get(), bytes, limits.outputBytes)) {
        exceeded = LimitExceeded::output;
      }
    } else if (exceeded == LimitExceeded::none && SteadyClock::now() >= deadline) {
      exceeded = LimitExceeded::time;
    }
  }
  inputWrite.close();
  // A grandchild still writing then gets an error rather than waiting on a reader that has stopped.
  outputRead.close();
  if (exceeded != LimitExceeded::none) {
    if (!reaped) endProcessGroup(pid);
    return {ProcessResult::EndedAtLimit, "", exceeded};
  }
  ProcessResult result{exitCodeFromWaitStatus(status), ""};
  if (utf8::isValid(bytes)) result.output = std::move(bytes);
  return result;
}

class PosixChildProcess final : public ChildProcess {
 public:
  explicit PosixChildProcess(pid_t pid) : pid_(pid), identity_(identityOf(pid)) {}
  ~PosixChildProcess() override {
    if (!ended_) {
      std::lock_guard lock(orphansMutex);
      orphans.push_back(pid_);
    }
  }
  pid_t pid() const override { return pid_; }
  std::optional<ProcessIdentity> identity() const override { return ended_ ? std::nullopt : identity_; }
  bool isRunning() override {
    if (!ended_ && ::waitpid(pid_, nullptr, WNOHANG) != 0) ended_ = true;
    return !ended_;
  }
  void terminate() override {
    if (!isRunning()) return;
    ::kill(pid_, SIGTERM);
    // A child ends promptly on the signal; collecting it here keeps it from lingering as a zombie
    // until the next child is started. One that takes longer is collected later, as an orphan.
    for (int waited = 0; waited < 20 && isRunning(); ++waited) ::usleep(5000);
  }

 private:
  pid_t pid_;
  // Read once at the start, while the child cannot have ended unnoticed: it is ours to collect.
  std::optional<ProcessIdentity> identity_;
  bool ended_ = false;
};

}  // namespace

ProcessResult PosixProcessRunner::run(const std::string& executable, const std::vector<std::string>& arguments,
                                      const RunLimits& limits) {
  return execute(executable, arguments, nullptr, limits);
}

ProcessResult PosixProcessRunner::runWithInput(const std::string& executable, const std::vector<std::string>& arguments,
                                               const std::string& input, const RunLimits& limits) {
  return execute(executable, arguments, &input, limits);
}

std::unique_ptr<ChildProcess> PosixProcessRunner::launch(const std::string& executable,
                                                         const std::vector<std::string>& arguments) {
  reapOrphans();
  SpawnSetup setup;
  setup.inheritStandardInput();
  posix_spawn_file_actions_addopen(&setup.actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&setup.actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  const pid_t pid = setup.spawn(executable, arguments);
  if (pid < 0) return nullptr;
  return std::make_unique<PosixChildProcess>(pid);
}

}  // namespace corvel
