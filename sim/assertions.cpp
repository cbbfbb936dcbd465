// Power assertions on the simulated Mac, and the liveness test that releases a dead holder's.
#include "assertions.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <limits>
#include <string>
#include <sys/stat.h>
#include <system_error>

#include "adapters/posix/process_info.h"
#include "support/decimal.h"
#include "sim_root.h"

namespace corvel::sim {
namespace fs = std::filesystem;

fs::path assertionFile(const fs::path& root, pid_t pid) { return root / "mac" / "assertions" / std::to_string(pid); }

std::optional<std::string> machineIdentity(const fs::path& root) {
  struct stat info {};
  if (::stat(root.c_str(), &info) != 0) return std::nullopt;
  return std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
}

bool holdsAssertionOn(const fs::path& root, pid_t pid) {
  const auto machine = machineIdentity(root);
  const auto text = readFile(assertionFile(root, pid));
  if (!machine || !text) return false;
  const auto second = text->find('\n');
  return second != std::string::npos && text->substr(second + 1) == "machine=" + *machine + "\n";
}

// kill() succeeds on a zombie too; the system's process table tells it apart.
bool processIsAlive(pid_t pid) { return identityOf(pid).has_value(); }

namespace {

std::vector<pid_t> holders(const fs::path& root, bool releaseDead) {
  std::vector<pid_t> live;
  std::error_code error;
  for (fs::directory_iterator entry(root / "mac" / "assertions", error); !error && entry != fs::directory_iterator();
       entry.increment(error)) {
    const std::string name = entry->path().filename().string();
    const auto number = parseDecimal(name);
    // Anything else there (a caffeinate's temporary file mid-rename) is not an assertion yet.
    if (!number || *number <= 0 || *number > std::numeric_limits<pid_t>::max()) continue;
    const auto pid = static_cast<pid_t>(*number);
    if (processIsAlive(pid)) {
      live.push_back(pid);
    } else if (releaseDead) {
      std::error_code ignored;
      fs::remove(entry->path(), ignored);
    }
  }
  std::sort(live.begin(), live.end());
  return live;
}

}  // namespace

std::vector<pid_t> assertionHolders(const fs::path& root) { return holders(root, false); }

std::vector<pid_t> liveAssertions(const fs::path& root) { return holders(root, true); }

}  // namespace corvel::sim
