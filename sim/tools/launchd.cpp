// The simulated Mac's launchd, for one launch agent: keeps the agent's program running for as long
// as the agent is registered, as launchd does for a KeepAlive agent.
//
//   launchd <plist name> <program>
//
// One runs per registered agent: a second one for the same agent (its lock held) ends at once. It
// starts the program at once and starts it again whenever it ends, but never sooner than 10 seconds
// after its previous start (launchd's ThrottleInterval). It ends, and stops the agent, once the
// registration file is gone or it is sent SIGTERM, SIGINT or SIGHUP. The agent inherits its
// environment, session and standard streams. It writes nothing to them; usage errors exit 2.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "adapters/posix/process_info.h"
#include "sim/launchd_jobs.h"
#include "sim/sim_root.h"
#include "sim/tools/tool_support.h"
#include "sim/workspace_sim.h"

extern char** environ;

namespace {
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr auto ThrottleInterval = std::chrono::seconds(10);
// How soon a registration removed by hand (or with its whole machine) is noticed.
constexpr auto RegistrationCheckInterval = std::chrono::milliseconds(500);
// A supervisor that has just seen its registration go may still hold the lock while a new
// registration starts the next one: that one waits this long for the lock before it gives way.
constexpr auto LockWait = std::chrono::seconds(3);
constexpr auto ExitTimeOut = std::chrono::seconds(5);

// Gone for sure: a registration that cannot be looked at for the moment is not taken for removed.
bool isUnregistered(const fs::path& registration) {
  std::error_code failed;
  return fs::symlink_status(registration, failed).type() == fs::file_type::not_found;
}

pid_t startAgent(const fs::path& program, const sigset_t& originalMask) {
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  for (int signal : corvel::sim::EndingSignals) sigaddset(&defaults, signal);
  sigaddset(&defaults, SIGCHLD);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setsigmask(&attributes, &originalMask);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  std::string path = program.string();
  char* argv[] = {path.data(), nullptr};
  pid_t pid = -1;
  const int error = ::posix_spawn(&pid, path.c_str(), nullptr, &attributes, argv, environ);
  posix_spawnattr_destroy(&attributes);
  return error == 0 ? pid : -1;
}

void recordAgent(const fs::path& root, const std::string& plistName, const fs::path& program, pid_t pid) {
  const auto identity = corvel::identityOf(pid);
  try {
    corvel::sim::replaceFileAtomically(corvel::sim::jobFile(root, plistName),
                                       "program=" + program.string() + "\npid=" + std::to_string(pid) +
                                           "\nstarted=" + (identity ? std::to_string(identity->startTime) : "") + "\n");
  } catch (const std::exception&) {
    // Unrecorded, the agent still runs; only who asks which process it is cannot tell.
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || !corvel::sim::isJobName(argv[1]) || !fs::path(argv[2]).is_absolute()) {
    std::fputs("usage: launchd <plist name> <program>\n", stderr);
    return 2;
  }
  const std::string plistName = argv[1];
  const fs::path program = argv[2];
  const fs::path root = corvel::sim::rootFolder();
  if (corvel::sim::refusalOfRoot(root)) return 1;
  const fs::path registration = corvel::sim::registrationFile(root, plistName);
  // launchd runs its jobs from /, so no folder stays busy because of them.
  if (::chdir("/") != 0) return 1;
  std::error_code ignored;
  fs::create_directory(root / "launchd", ignored);
  const auto lockDeadline = Clock::now() + LockWait;
  for (;;) {
    const auto claim = corvel::sim::claimFile(corvel::sim::jobLockFile(root, plistName));
    if (claim == corvel::sim::Claim::taken) break;
    if (claim != corvel::sim::Claim::heldByAnother || Clock::now() >= lockDeadline) return 0;
    std::this_thread::sleep_for(RegistrationCheckInterval / 5);
  }

  // Blocked from here on and taken only inside ppoll, so none slips in between a check and the wait.
  const auto [originalMask, waitMask] = corvel::sim::catchEndingSignalsAndChildren();

  pid_t agent = -1;
  std::optional<Clock::time_point> lastStart;
  while (!corvel::sim::endingSignal && !isUnregistered(registration)) {
    if (agent > 0 && ::waitpid(agent, nullptr, WNOHANG) == agent) agent = -1;
    auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(RegistrationCheckInterval);
    if (agent < 0) {
      const auto due = lastStart ? *lastStart + ThrottleInterval : Clock::now();
      if (Clock::now() >= due) {
        lastStart = Clock::now();
        agent = startAgent(program, originalMask);
        if (agent > 0) recordAgent(root, plistName, program, agent);
      } else {
        wait = std::min(wait, std::chrono::duration_cast<std::chrono::milliseconds>(due - Clock::now()) +
                                  std::chrono::milliseconds(1));
      }
    }
    const timespec pause{static_cast<time_t>(wait.count() / 1000), static_cast<long>(wait.count() % 1000) * 1'000'000L};
    ::ppoll(nullptr, 0, &pause, &waitMask);
  }

  // Unloaded: the agent goes with its job, as launchd stops a job that is booted out, and one that
  // does not end when asked is killed after launchd's ExitTimeOut.
  if (agent > 0) {
    ::kill(agent, SIGTERM);
    const auto deadline = Clock::now() + ExitTimeOut;
    bool ended = false;
    while (!(ended = ::waitpid(agent, nullptr, WNOHANG) != 0) && Clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!ended && ::kill(agent, SIGKILL) == 0) ::waitpid(agent, nullptr, 0);
  }
  fs::remove(corvel::sim::jobFile(root, plistName), ignored);
  return 0;
}
