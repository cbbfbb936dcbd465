// The simulated Mac's folder and its plain-file state.
#include "sim_root.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace corvel::sim {
namespace fs = std::filesystem;

fs::path rootFolder() {
  if (const char* root = std::getenv("CORVEL_SIM_ROOT"); root && *root) return fs::path(root);
  if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state) return fs::path(state) / "corvel-sim";
  const char* home = std::getenv("HOME");
  return fs::path(home && *home ? home : "/tmp") / ".local" / "state" / "corvel-sim";
}

fs::path programFolder() {
  char path[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  return fs::path(std::string(path, static_cast<std::size_t>(n))).parent_path();
}

void ensureInitialized(const fs::path& root) {
  for (const char* folder : {"mac/assertions", "etc/sudoers.d", "private/tmp", "Library/Preferences",
                             "Library/LaunchAgents"}) {
    fs::create_directories(root / folder);
  }
  // Root's folder: only the owner may write there, as on the Mac.
  fs::permissions(root / "etc/sudoers.d", fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                              fs::perms::others_read | fs::perms::others_exec);
  const std::pair<const char*, const char*> defaults[] = {
      {"screenlock", "immediate"}, {"login-password", "corvel"}, {"touchid", "available"}, {"session-locked", "0"}};
  for (const auto& [name, value] : defaults) {
    if (!fs::exists(root / "mac" / name)) writeValue(root, name, value);
  }
}

fs::path setAsideName(const fs::path& file, std::string_view why) {
  char stamp[32];
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &utc);
  const std::string base =
      file.filename().string() + "." + std::string(why) + "-" + stamp + "-" + std::to_string(getpid());
  fs::path candidate = file.parent_path() / base;
  for (int n = 1; fs::exists(fs::symlink_status(candidate)); ++n) {
    candidate = file.parent_path() / (base + "-" + std::to_string(n));
  }
  return candidate;
}

std::optional<std::string> readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return std::move(buffer).str();
}

std::optional<std::string> readValue(const fs::path& root, std::string_view name) {
  auto text = readFile(root / "mac" / name);
  if (text && !text->empty() && text->back() == '\n') text->pop_back();
  return text;
}

void writeValue(const fs::path& root, std::string_view name, std::string_view value) {
  replaceFileAtomically(root / "mac" / name, std::string(value) + "\n");
}

void replaceFileAtomically(const fs::path& path, std::string_view contents, unsigned mode) {
  const fs::path temporary = path.parent_path() / ("." + path.filename().string() + ".tmp." + std::to_string(getpid()));
  // The name is predictable: whatever a crash, or someone else, left there is removed, never followed.
  ::unlink(temporary.c_str());
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
  if (fd < 0) throw std::system_error(errno, std::generic_category(), "create " + temporary.string());
  std::size_t written = 0;
  while (written < contents.size()) {
    const ssize_t n = ::write(fd, contents.data() + written, contents.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int error = errno;
      ::close(fd);
      ::unlink(temporary.c_str());
      throw std::system_error(error, std::generic_category(), "write " + temporary.string());
    }
    written += static_cast<std::size_t>(n);
  }
  ::fchmod(fd, mode);  // the umask must not narrow what the caller asked for
  ::fsync(fd);
  ::close(fd);
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    throw std::system_error(error, std::generic_category(), "rename to " + path.string());
  }
}

std::string mapSystemPath(const fs::path& root, std::string_view path) {
  for (std::string_view prefix : {std::string_view("/etc/sudoers.d/"), std::string_view("/private/tmp/")}) {
    if (path.substr(0, prefix.size()) == prefix || path == prefix.substr(0, prefix.size() - 1)) {
      return root.string() + std::string(path);
    }
  }
  return std::string(path);
}

}  // namespace corvel::sim
