// The simulated Mac's folder and its plain-file state.
#include "sim_root.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <pwd.h>
#include <sstream>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

namespace corvel::sim {
namespace fs = std::filesystem;

namespace {

fs::path homeFolder() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  // A bare environment still has an account; a shared fallback such as /tmp would let other users
  // plant files in the simulated Mac before it is made.
  const passwd* account = ::getpwuid(::getuid());
  return account && account->pw_dir ? fs::path(account->pw_dir) : fs::path();
}

// The path with control characters shown as '?', so that a message about it stays one line.
std::string printable(const fs::path& path) {
  std::string text = path.string();
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  }
  return text;
}

// `given` as written (made absolute and normal) and `resolved` (links followed) are both compared,
// with the system folders and with what those resolve to: on a merged /usr, /lib64 is /usr/lib64.
bool isSystemFolder(const fs::path& given, const fs::path& resolved) {
  std::vector<fs::path> system{"/",     "/bin",     "/boot",   "/dev",     "/etc",         "/proc",
                               "/root", "/run",     "/sbin",   "/sys",     "/usr",         "/var",
                               "/tmp",  "/private", "/System", "/Library", "/Applications"};
  std::error_code failed;
  for (fs::directory_iterator entry("/", failed); !failed && entry != fs::directory_iterator();
       entry.increment(failed)) {
    if (entry->path().filename().string().starts_with("lib")) system.push_back(entry->path());
  }
  if (given.parent_path() == "/" && given.filename().string().starts_with("lib")) return true;
  for (const auto& folder : system) {
    std::error_code missing;
    const fs::path target = fs::canonical(folder, missing);
    if (given == folder || resolved == folder || (!missing && resolved == target)) return true;
  }
  return false;
}

}  // namespace

fs::path rootFolder() {
  std::error_code ignored;
  if (const char* root = std::getenv("CORVEL_SIM_ROOT"); root && *root) return fs::absolute(root, ignored);
  // A relative XDG_STATE_HOME is invalid and to be ignored, as the base-directory rules say.
  if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state == '/') return fs::path(state) / "corvel-sim";
  const fs::path home = homeFolder();
  if (home.empty()) return {};
  return home / ".local" / "state" / "corvel-sim";
}

std::optional<std::string> refusalOfRoot(const fs::path& root) {
  if (!root.is_absolute()) return "no folder for the simulated Mac: neither CORVEL_SIM_ROOT nor a home folder is known";
  std::error_code failed;
  // Resolved first, so that neither "/usr/.." nor a link can pass for another folder.
  const auto withoutTrailingSlash = [](fs::path path) {
    path = path.lexically_normal();
    return !path.has_filename() && path != path.root_path() ? path.parent_path() : path;
  };
  const fs::path resolved = withoutTrailingSlash(fs::weakly_canonical(root, failed));
  if (failed) return "the simulated Mac at " + printable(root) + " cannot be reached: " + failed.message();
  if (isSystemFolder(withoutTrailingSlash(root), resolved)) {
    return "the simulated Mac cannot be at " + printable(root) + ": it is a system folder of this machine";
  }
  struct stat info {};
  if (::stat(resolved.c_str(), &info) != 0) return std::nullopt;  // not there yet: it is made for its owner
  if (!S_ISDIR(info.st_mode)) return "the simulated Mac at " + printable(root) + " is not a folder";
  if (info.st_uid != ::geteuid()) {
    return "the simulated Mac at " + printable(root) + " belongs to another user (uid " + std::to_string(info.st_uid) +
           ")";
  }
  if (info.st_mode & (S_IWGRP | S_IWOTH)) {
    return "the simulated Mac at " + printable(root) +
           " may be written by other users; only its owner may (chmod go-w)";
  }
  return std::nullopt;
}

std::optional<std::string> prepareRoot(const fs::path& root) {
  if (auto refusal = refusalOfRoot(root)) return refusal;
  try {
    std::error_code failed;
    if (fs::symlink_status(root, failed).type() == fs::file_type::not_found) {
      fs::create_directories(root.parent_path(), failed);
      if (failed) throw fs::filesystem_error("cannot create the folder", root.parent_path(), failed);
      if (::mkdir(root.c_str(), 0700) != 0 && errno != EEXIST) {
        throw fs::filesystem_error("cannot create the folder", root, std::error_code(errno, std::generic_category()));
      }
      // Made by someone else in the same instant: the same checks as for any existing root.
      if (auto refusal = refusalOfRoot(root)) return refusal;
    }
    ensureInitialized(root);
  } catch (const std::exception& error) {
    std::string what = error.what();
    for (char& c : what) {
      if (static_cast<unsigned char>(c) < 0x20) c = '?';
    }
    return "the simulated Mac at " + printable(root) + " cannot be prepared: " + what;
  }
  return std::nullopt;
}

fs::path programFolder() {
  char path[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  return fs::path(std::string(path, static_cast<std::size_t>(n))).parent_path();
}

void ensureInitialized(const fs::path& root) {
  for (const char* folder :
       {"mac/assertions", "etc/sudoers.d", "private/tmp", "Library/Preferences", "Library/LaunchAgents"}) {
    std::error_code failed;
    fs::create_directories(root / folder, failed);
    if (failed) throw fs::filesystem_error("cannot create the folder", root / folder, failed);
  }
  // Root's folder: only the owner may write there, as on the Mac. On a root that is read-only by now
  // it was set when the root was made.
  std::error_code readOnly;
  fs::permissions(root / "etc/sudoers.d",
                  fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read |
                      fs::perms::others_exec,
                  readOnly);
  const std::pair<const char*, const char*> defaults[] = {
      {"screenlock", "immediate"}, {"login-password", "corvel"}, {"touchid", "available"}, {"session-locked", "0"}};
  for (const auto& [name, value] : defaults) {
    std::error_code failed;
    const auto type = fs::symlink_status(root / "mac" / name, failed).type();
    if (type == fs::file_type::none) throw fs::filesystem_error("cannot look at the file", root / "mac" / name, failed);
    if (type == fs::file_type::not_found) writeValue(root, name, value);
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
  // A name that cannot be looked at is taken as free: setting the file aside under it then fails
  // and says so, where guessing on would loop.
  std::error_code failed;
  for (int n = 1; fs::exists(fs::symlink_status(candidate, failed)); ++n) {
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

bool valueAbsent(const fs::path& root, std::string_view name) {
  struct stat info {};
  return ::lstat((root / "mac" / name).c_str(), &info) != 0 && errno == ENOENT;
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

void changeValue(const std::filesystem::path& root, std::string_view name, std::string_view value,
                 std::string_view tool, std::string_view absent) {
  const bool changes = readValue(root, name).value_or(std::string(absent)) != value;
  writeValue(root, name, value);
  const char* asked = std::getenv("CORVEL_SIM_PAUSE_AFTER");
  if (!changes || asked == nullptr || tool != asked) return;
  writeValue(root, "paused", std::string(tool) + " " + std::to_string(::getpid()));
  std::this_thread::sleep_for(std::chrono::minutes(1));
}

}  // namespace corvel::sim
