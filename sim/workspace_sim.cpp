// The simulated workspace and the one-Corvel-per-root claim.
#include "workspace_sim.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <string>
#include <unistd.h>

#include "corvel/build_config.h"

extern char** environ;

namespace corvel::sim {
namespace fs = std::filesystem;

bool claimRootForCorvel(const fs::path& root) {
  const int fd = ::open((root / "corvel.pid").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return true;  // cannot tell; carry on rather than refuse to start
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  if (::fcntl(fd, F_SETLK, &lock) != 0) {
    ::close(fd);
    return false;
  }
  const std::string pid = std::to_string(::getpid()) + "\n";
  if (::ftruncate(fd, 0) == 0 && ::pwrite(fd, pid.data(), pid.size(), 0) < 0) {
  }
  return true;
}

bool isRootClaimed(const fs::path& root) {
  const int fd = ::open((root / "corvel.pid").c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  const bool claimed = ::fcntl(fd, F_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
  ::close(fd);
  return claimed;
}

bool SimWorkspace::isApplicationRunning(const std::string& bundleIdentifier) {
  // The system would adopt what it started; here the watchdog is the parent, so it collects them.
  while (::waitpid(-1, nullptr, WNOHANG) > 0) {
  }
  return bundleIdentifier == AppBundleIdentifier && isRootClaimed(root_);
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
