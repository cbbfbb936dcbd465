// Where the simulated launchd keeps its jobs, and who runs one now.
#include "launchd_jobs.h"

#include <cstdint>
#include <limits>
#include <sstream>
#include <vector>

#include "adapters/posix/process_info.h"
#include "sim_root.h"
#include "support/decimal.h"

namespace corvel::sim {
namespace fs = std::filesystem;

namespace {

// The value of `name` in a record of "name=value" lines.
std::optional<std::string> recorded(const std::string& text, std::string_view name) {
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.size() > name.size() && line.starts_with(name) && line[name.size()] == '=') {
      return line.substr(name.size() + 1);
    }
  }
  return std::nullopt;
}

}  // namespace

bool isJobName(std::string_view plistName) {
  return !plistName.empty() && plistName.front() != '.' && plistName.find('/') == std::string_view::npos &&
         plistName.find('\0') == std::string_view::npos;
}

fs::path registrationFile(const fs::path& root, std::string_view plistName) {
  return root / "Library" / "LaunchAgents" / plistName;
}

fs::path jobFile(const fs::path& root, std::string_view plistName) { return root / "launchd" / plistName; }

fs::path jobLockFile(const fs::path& root, std::string_view plistName) {
  return root / "launchd" / (std::string(plistName) + ".lock");
}

std::optional<pid_t> runningAgent(const fs::path& root, std::string_view plistName, const fs::path& program) {
  if (!isJobName(plistName)) return 0;
  const fs::path file = jobFile(root, plistName);
  const auto text = readFile(file);
  if (!text) {
    std::error_code failed;
    const auto status = fs::symlink_status(file, failed);
    return status.type() == fs::file_type::not_found ? std::optional<pid_t>(0) : std::nullopt;
  }
  const auto pid = parseDecimal(recorded(*text, "pid").value_or(""));
  const auto started = parseDecimal(recorded(*text, "started").value_or(""));
  if (!pid || !started || *pid == 0 || *pid > std::numeric_limits<pid_t>::max()) return 0;
  const auto identity = identityOf(static_cast<pid_t>(*pid));
  if (!identity || identity->startTime != static_cast<std::uint64_t>(*started)) return 0;
  if (commandLineOf(identity->pid) != std::vector<std::string>{program.string()}) return 0;
  return identity->pid;
}

std::string registrationText(const fs::path& program) { return "program=" + program.string() + "\n"; }

}  // namespace corvel::sim
