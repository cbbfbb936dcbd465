// The part of the sudoers language the simulated sudo understands, and the decision it leads to.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvel::sim {

struct SudoersItem {
  std::string word;
  bool negated = false;
};

struct SudoersCommand {
  bool negated = false;
  bool all = false;    // the ALL keyword
  bool never = false;  // an alias, sudoedit or list: valid, but the sim does not expand them
  std::string path;
  // None: the rule named the path alone, so any arguments match; "": the rule said "" (none allowed).
  std::optional<std::string> arguments;
  bool runsAsRoot = true;
  bool noPassword = false;
};

struct SudoersRule {
  std::vector<SudoersItem> users;
  std::vector<SudoersItem> hosts;
  std::vector<SudoersCommand> commands;
};

struct SudoersFile {
  std::vector<SudoersRule> rules;
  int errorLine = 0;  // the first line that could not be parsed, 0 when all could
};

SudoersFile parseSudoers(std::string_view text);

struct SudoRequest {
  std::string user;
  std::vector<std::string> hostNames;
  std::string command;  // the absolute path as given
  std::vector<std::string> arguments;
};

// Whether `request` may run as root without a password: the last matching command of all rules
// decides, as in sudo, so a later PASSWD or negated entry takes back an earlier grant.
bool grantsWithoutPassword(const std::vector<SudoersRule>& rules, const SudoRequest& request);
// Whether `request` may run as root at all, once the user has given a password where one is needed.
bool allows(const std::vector<SudoersRule>& rules, const SudoRequest& request);

}  // namespace corvel::sim
