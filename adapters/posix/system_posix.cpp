// POSIX clock, environment and file adapters.
#include "system_posix.h"

#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace corvel {

Clock::TimePoint PosixClock::now() { return std::chrono::system_clock::now(); }

void PosixClock::sleepFor(std::chrono::milliseconds length) { std::this_thread::sleep_for(length); }

std::optional<std::string> PosixProcessEnvironment::variable(std::string_view name) const {
  const char* value = std::getenv(std::string(name).c_str());
  if (!value) return std::nullopt;
  return std::string(value);
}

std::string PosixProcessEnvironment::userName() const {
  // The account database, not $USER: the environment is the caller's to set.
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found) return found->pw_name;
  return "";
}

bool PosixFileSystem::fileExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

}  // namespace corvel
