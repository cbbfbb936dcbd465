// The simulated workspace and the one-Corvel-per-root claim.
#include "workspace_sim.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <spawn.h>
#include <sys/wait.h>
#include <string>
#include <unistd.h>

#include "corvel/build_config.h"

extern char** environ;

namespace corvel::sim {
namespace fs = std::filesystem;

Claim claimFile(const fs::path& file) {
  // Never through a link, and never waiting on a FIFO someone put there.
  const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
  if (fd < 0) return Claim::unknown;
  struct stat info {};
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) {
    ::close(fd);
    return Claim::unknown;
  }
  if (::fcntl(fd, F_SETLK, &lock) != 0) {
    const bool held = errno == EACCES || errno == EAGAIN;
    ::close(fd);
    return held ? Claim::heldByAnother : Claim::unknown;
  }
  const std::string pid = std::to_string(::getpid()) + "\n";
  if (::ftruncate(fd, 0) == 0 && ::pwrite(fd, pid.data(), pid.size(), 0) < 0) {
  }
  return Claim::taken;
}

Claim claimRootForCorvel(const fs::path& root) { return claimFile(root / "corvel.pid"); }

Claim claimRootForWatchdog(const fs::path& root) { return claimFile(root / "watchdog.pid"); }

Claim corvelClaim(const fs::path& root) { return claimOn(root / "corvel.pid"); }

Claim claimOn(const fs::path& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? Claim::free : Claim::unknown;
  struct stat info {};
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  Claim state = Claim::unknown;
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && ::fcntl(fd, F_GETLK, &lock) == 0) {
    state = lock.l_type == F_UNLCK ? Claim::free : Claim::heldByAnother;
  }
  ::close(fd);
  return state;
}

bool SimWorkspace::isApplicationRunning(const std::string& bundleIdentifier) {
  // The system would adopt what it started; here the watchdog is the parent, so it collects them.
  while (::waitpid(-1, nullptr, WNOHANG) > 0) {
  }
  // A claim that cannot be read says nothing; starting Corvel on every check would pile them up.
  return bundleIdentifier == AppBundleIdentifier && corvelClaim(root_) != Claim::free;
}

std::optional<std::string> SimWorkspace::applicationLocation(const std::string& bundleIdentifier) {
  const fs::path corvel = applicationsFolder_ / "Corvel";
  if (bundleIdentifier != AppBundleIdentifier || ::access(corvel.c_str(), X_OK) != 0) return std::nullopt;
  return corvel.string();
}

void SimWorkspace::openApplication(const std::string& location, const std::vector<std::string>& arguments,
                                   bool /*activates*/) {
  // A session of its own and no terminal: what the system's launch service gives an application.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
  std::vector<char*> argv{const_cast<char*>(location.c_str())};
  for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  ::posix_spawn(&pid, location.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
}

}  // namespace corvel::sim
