// Another process's identity and command line on Linux, from /proc.
#include <fstream>
#include <sstream>
#include <sys/stat.h>

#include "process_info.h"
#include "support/decimal.h"

namespace corvel {

std::optional<ProcessIdentity> identityOf(pid_t pid) {
  if (pid <= 0) return std::nullopt;
  const std::string base = "/proc/" + std::to_string(pid);
  std::ifstream stat(base + "/stat");
  std::string statLine;
  if (!std::getline(stat, statLine)) return std::nullopt;
  // The fields follow the command name in parentheses, which may itself hold blanks or ')'.
  const auto close = statLine.rfind(')');
  if (close == std::string::npos) return std::nullopt;
  std::istringstream fields(statLine.substr(close + 1));
  // After the name: state (field 3) ... starttime (field 22).
  std::string field;
  std::vector<std::string> values;
  while (values.size() < 20 && fields >> field) values.push_back(field);
  if (values.size() < 20) return std::nullopt;
  const std::string& state = values[0];
  if (state == "Z" || state == "X" || state == "x") return std::nullopt;
  const auto startTime = parseDecimal(values[19]);
  struct stat info {};
  if (!startTime || ::stat(base.c_str(), &info) != 0) return std::nullopt;
  return ProcessIdentity{pid, static_cast<std::uint64_t>(*startTime), info.st_uid};
}

std::optional<std::vector<std::string>> commandLineOf(pid_t pid) {
  if (!identityOf(pid)) return std::nullopt;
  std::ifstream cmdline("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
  std::vector<std::string> arguments;
  std::string argument;
  while (std::getline(cmdline, argument, '\0')) arguments.push_back(argument);
  if (arguments.empty()) return std::nullopt;
  return arguments;
}

}  // namespace corvel
