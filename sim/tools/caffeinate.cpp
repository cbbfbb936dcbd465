// The simulated Mac's caffeinate: holds a power assertion, kept as a file, for as long as it runs.
//
//   caffeinate [-disu] [-t timeout] [-w pid] [utility arguments...]
//
// As the real tool's manual page describes it: -d display, -i idle system, -m disk, -s system (on
// mains power), -u user-is-active assertions; with no assertion flag it takes -i. The assertion is
// the file mac/assertions/<own pid> holding the flags in the order d i m s u ("-d -i") and the
// machine they are held on, present from start to end. It ends when a utility it started ends (exit status passed on;
// -t and -w are then ignored, as the manual says), else when the -w pid ends, else after -t seconds, else when
// signalled. -u without -t lapses after 5 seconds, as the manual says; the sim then ends the whole
// hold, which for -u mixed with other flags is a simplification. On SIGTERM, SIGINT or SIGHUP it
// removes the file and dies of that signal, so its parent sees what it would see on the Mac. It
// writes nothing in normal running. Unknown options print BSD getopt's complaint and the manual's
// synopsis, exit 1; a -t or -w value that is not a decimal number is treated the same way
// (unconfirmed how the real tool treats one). A -w pid that is not running ends it at once
// (unconfirmed). Linux-only (pidfd, ppoll), like the rest of the sim.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "sim/assertions.h"
#include "support/decimal.h"
#include "support/wait_status.h"
#include "sim/sim_root.h"
#include "sim/tools/tool_support.h"

extern char** environ;

namespace {

int usage() {
  std::fputs("usage: caffeinate [-disu] [-t timeout] [-w pid] [utility arguments...]\n", stderr);
  return 1;
}

timespec monotonicNow() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now;
}

long long millisecondsUntil(const timespec& deadline) {
  const timespec now = monotonicNow();
  return (deadline.tv_sec - now.tv_sec) * 1000LL + (deadline.tv_nsec - now.tv_nsec) / 1'000'000LL;
}

}  // namespace

int main(int argc, char** argv) {
  std::filesystem::path root;
  try {
    root = corvel::sim::rootFolder();
    corvel::sim::ensureInitialized(root);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "caffeinate: %s\n", error.what());
    return 1;
  }

  // Blocked from here on and taken only inside ppoll, so no signal can slip in between a check
  // and the wait.
  const sigset_t waitMask = corvel::sim::catchEndingSignalsAndChildren().wait;

  bool flags[5] = {};  // d i m s u
  const char letters[] = "dimsu";
  // Plain values rather than std::optional: g++ 12 misreads optionals here as maybe-uninitialized.
  long long timeout = -1;  // seconds; -1 for none
  pid_t waitPid = 0;       // 0 for none
  opterr = 0;              // BSD getopt's wording is printed below
  for (int option; (option = getopt(argc, argv, "+dimsut:w:")) != -1;) {
    if (const char* at = std::strchr(letters, option)) {
      flags[at - letters] = true;
    } else if (option == 't') {
      const auto seconds = corvel::parseDecimal(optarg);
      // Far beyond any real timeout, and small enough to count in milliseconds without overflow.
      if (!seconds || *seconds > 100'000'000'000LL) return usage();
      timeout = *seconds;
    } else if (option == 'w') {
      const auto pid = corvel::parseDecimal(optarg);
      if (!pid || *pid <= 0 || *pid > 0x3fffffff) return usage();
      waitPid = static_cast<pid_t>(*pid);
    } else {
      if (optopt == 't' || optopt == 'w') {
        std::fprintf(stderr, "caffeinate: option requires an argument -- %c\n", optopt);
      } else {
        std::fprintf(stderr, "caffeinate: illegal option -- %c\n", optopt);
      }
      return usage();
    }
  }
  char* const* utility = optind < argc ? argv + optind : nullptr;
  if (utility) {
    timeout = -1;
    waitPid = 0;
  } else if (flags[4] && timeout < 0) {
    timeout = 5;
  }

  std::string held;
  for (int i = 0; i < 5; ++i) {
    if (!flags[i]) continue;
    if (!held.empty()) held += ' ';
    held += {'-', letters[i]};
  }
  if (held.empty()) held = "-i";

  int pidfd = -1;
  if (waitPid > 0) {
    pidfd = static_cast<int>(syscall(SYS_pidfd_open, waitPid, 0));
    if (pidfd < 0 && errno == ESRCH) return 0;
  }

  const std::string file = corvel::sim::assertionFile(root, getpid()).string();
  try {
    corvel::sim::replaceFileAtomically(file,
                                       held + "\nmachine=" + corvel::sim::machineIdentity(root).value_or("") + "\n");
  } catch (const std::exception& error) {
    std::fprintf(stderr, "caffeinate: %s\n", error.what());
    return 1;
  }

  pid_t child = -1;
  if (utility) {
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    const int error = posix_spawnp(&child, utility[0], nullptr, &attributes, utility, environ);
    posix_spawnattr_destroy(&attributes);
    if (error != 0) {
      ::unlink(file.c_str());
      std::fprintf(stderr, "caffeinate: %s: %s\n", utility[0], std::strerror(error));
      return 1;
    }
  }

  timespec deadline = monotonicNow();
  if (timeout >= 0) deadline.tv_sec += static_cast<time_t>(timeout);
  int exitCode = 0;
  for (;;) {
    if (corvel::sim::endingSignal) break;
    if (child > 0) {
      int status = 0;
      if (::waitpid(child, &status, WNOHANG) == child) {
        exitCode = corvel::exitCodeFromWaitStatus(status);
        break;
      }
    }
    if (waitPid > 0 && pidfd < 0 && !corvel::sim::processIsAlive(waitPid)) break;
    long long waitMs = -1;
    if (timeout >= 0) {
      waitMs = millisecondsUntil(deadline);
      if (waitMs <= 0) break;
    }
    // Without pidfd support the -w pid can only be looked at now and then.
    if (waitPid > 0 && pidfd < 0 && (waitMs < 0 || waitMs > 250)) waitMs = 250;
    pollfd watched{pidfd, POLLIN, 0};
    timespec pause{static_cast<time_t>(waitMs / 1000), static_cast<long>(waitMs % 1000) * 1'000'000L};
    const int ready = ::ppoll(&watched, pidfd >= 0 ? 1 : 0, waitMs < 0 ? nullptr : &pause, &waitMask);
    if (ready > 0) break;  // the -w pid has ended
  }

  ::unlink(file.c_str());
  if (corvel::sim::endingSignal) {
    const int signal = corvel::sim::endingSignal;
    std::signal(signal, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    ::raise(signal);
    sigprocmask(SIG_UNBLOCK, &only, nullptr);
  }
  return exitCode;
}
