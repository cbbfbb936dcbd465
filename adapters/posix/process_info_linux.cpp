// Another process's command line on Linux, from /proc.
#include <fstream>
#include <sstream>

#include "process_info.h"

namespace corvel {

std::optional<std::vector<std::string>> commandLineOf(pid_t pid) {
  if (pid <= 0) return std::nullopt;
  const std::string base = "/proc/" + std::to_string(pid);
  std::ifstream stat(base + "/stat");
  std::string statLine;
  if (!std::getline(stat, statLine)) return std::nullopt;
  // The state follows the command name in parentheses, which may itself hold blanks or ')'.
  const auto close = statLine.rfind(')');
  if (close == std::string::npos || close + 2 >= statLine.size()) return std::nullopt;
  const char state = statLine[close + 2];
  if (state == 'Z' || state == 'X') return std::nullopt;
  std::ifstream cmdline(base + "/cmdline", std::ios::binary);
  std::vector<std::string> arguments;
  std::string argument;
  while (std::getline(cmdline, argument, '\0')) arguments.push_back(argument);
  if (arguments.empty()) return std::nullopt;
  return arguments;
}

}  // namespace corvel
