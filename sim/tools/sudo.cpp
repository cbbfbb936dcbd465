// The simulated Mac's sudo: runs a command as root when a sudoers.d drop-in allows it, without a
// password or, with -S, with the login password.
//
//   sudo -n [-k] <absolute command> [argument ...]       runs the command; never asks for a password
//   sudo -S [-k] <absolute command> [argument ...]       runs it; where a password is needed, reads the
//                                                        login password as one line of standard input
//   sudo -n [-k] -l <absolute command> [argument ...]    lists it: when allowed, prints the command and
//                                                        its arguments as given, joined by blanks, and
//                                                        exits 0; otherwise exits 1 silently, as sudo
//                                                        does for a command the policy refuses
// The options come in any order, each once, before the command; anything else is refused, exit 1.
// Listing runs nothing and, like asking the real sudo, changes nothing on the machine: it does not
// even make a missing sim root.
//
// It reads $CORVEL_SIM_ROOT/etc/sudoers.d/ as the real sudo's #includedir does: in lexical order,
// skipping names that contain "." or end in "~", and anything but regular files. A group- or
// world-writable file is refused with sudo's complaint and exit 1, and so is a file with a line it
// cannot parse ("sudo: parse error in <file> near line N"): everything is then refused, as a broken
// sudoers refuses everything. Whether a current sudo merely skips such a drop-in instead is
// unconfirmed; refusing is the stricter reading. Ownership is not checked (the sim's files belong
// to whoever runs the tests). The rule syntax understood is described in sudoers.cpp.
//
// The current user (from the real uid) may run the command when the last rule entry matching it
// is one for root: the command path exactly and the arguments joined by single blanks exactly, or
// any arguments when the entry names the path alone, as sudo matches. A NOPASSWD entry needs no
// password; any other needs the user to have authenticated: a password given with -S (the sim's
// mac/login-password), or a ticket. A caller that is already root in sim terms
// (CORVEL_SIM_PRIVILEGED=1) may run anything, as root needs no password. Without a needed password:
// "sudo: a password is required" on standard error, exit 1; a wrong one: "sudo: 1 incorrect
// password attempt", exit 1. Standard input is read only for that password; the command inherits it.
//
// Tickets, as sudo(8) describes its credential cache: a password accepted without -k leaves
// var/db/sudo/ts/<user> under the sim root (the time it was given), and for five minutes after (the
// upstream default of timestamp_timeout; Debian builds it with 15, the Mac's is unconfirmed) the
// user counts as authenticated, for -l too. sudo(8) on -k: "When used in conjunction with a command
// or an option that may require a password, this option will cause sudo to ignore the user's cached
// credentials. As a result, sudo will prompt for a password (if one is required by the security
// policy) and will not update the user's cached credentials." The real sudo keeps a ticket per
// terminal (or parent pid); the sim keeps one per user, which reaches further, so a check that must
// not be fooled by a ticket is tested the harder.
//
// Without a ticket, -l lists only what needs no password. The real sudo asks for a password before
// listing unless the user's entries satisfy listpw (default "any": at least one NOPASSWD entry), and
// then lists whatever the rules allow, with a password or without: an account holding some other
// NOPASSWD entry would see a password-requiring command listed. The sim does not model that.
//
// When allowed, /usr/bin/pmset, /usr/bin/caffeinate and /usr/sbin/sysadminctl run the sim tools
// beside this program; other paths run as they are. The command is exec'd with
// CORVEL_SIM_PRIVILEGED=1 added, so its exit status is sudo's. Unlike the real sudo the
// environment is otherwise kept, since the tools find the simulated Mac through it. A command that
// does not exist gives "sudo: <command>: command not found", exit 1.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "sim/sim_root.h"
#include "sim/tools/tool_support.h"
#include "sudoers.h"
#include "support/decimal.h"

namespace {
namespace fs = std::filesystem;

int refuse(const std::string& message) {
  std::fprintf(stderr, "sudo: %s\n", message.c_str());
  return 1;
}

bool skippedByIncludeDir(const std::string& name) { return name.find('.') != std::string::npos || name.back() == '~'; }

// Every rule of the drop-ins, or the complaint that makes sudo refuse everything.
bool loadRules(const fs::path& folder, std::vector<corvel::sim::SudoersRule>& rules, std::string& complaint) {
  std::vector<std::string> names;
  std::error_code error;
  for (fs::directory_iterator entry(folder, error); !error && entry != fs::directory_iterator();
       entry.increment(error)) {
    const std::string name = entry->path().filename().string();
    if (!skippedByIncludeDir(name)) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  for (const auto& name : names) {
    const std::string path = (folder / name).string();
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    if (info.st_mode & S_IWOTH) {
      complaint = path + " is world writable";
      return false;
    }
    if (info.st_mode & S_IWGRP) {
      complaint = path + " is owned by gid " + std::to_string(info.st_gid) + ", should be 0";
      return false;
    }
    const auto text = corvel::sim::readFile(path);
    if (!text) {
      complaint = "unable to open " + path + ": " + std::strerror(errno ? errno : EACCES);
      return false;
    }
    auto file = corvel::sim::parseSudoers(*text);
    if (file.errorLine != 0) {
      complaint = "parse error in " + path + " near line " + std::to_string(file.errorLine);
      return false;
    }
    std::move(file.rules.begin(), file.rules.end(), std::back_inserter(rules));
  }
  return true;
}

std::string simToolFor(const std::string& command) {
  static constexpr std::pair<std::string_view, const char*> tools[] = {
      {"/usr/bin/pmset", "pmset"}, {"/usr/bin/caffeinate", "caffeinate"}, {"/usr/sbin/sysadminctl", "sysadminctl"}};
  for (const auto& [macPath, tool] : tools) {
    if (command == macPath) return (corvel::sim::programFolder() / tool).string();
  }
  return command;
}

constexpr std::chrono::minutes TicketLifetime(5);

fs::path ticketFile(const fs::path& root, const std::string& user) { return root / "var/db/sudo/ts" / user; }

bool hasLiveTicket(const fs::path& root, const std::string& user) {
  auto text = corvel::sim::readFile(ticketFile(root, user));
  if (!text || text->empty() || text->back() != '\n') return false;
  text->pop_back();
  const auto given = corvel::parseDecimal(*text);
  const auto now =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
  return given && static_cast<long long>(*given) <= now &&
         now - static_cast<long long>(*given) < std::chrono::seconds(TicketLifetime).count();
}

void recordTicket(const fs::path& root, const std::string& user) {
  fs::create_directories(ticketFile(root, user).parent_path());
  const auto now =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
  corvel::sim::replaceFileAtomically(ticketFile(root, user), std::to_string(now) + "\n");
}

std::vector<std::string> hostNames() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return {};
  std::string full(name);
  return {full, full.substr(0, full.find('.'))};
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const fs::path root = corvel::sim::rootFolder();
    bool nonInteractive = false, list = false, ignoreTicket = false, passwordFromInput = false;
    int at = 1;
    for (; at < argc; ++at) {
      const std::string_view option = argv[at];
      bool* flag = option == "-n"   ? &nonInteractive
                   : option == "-l" ? &list
                   : option == "-k" ? &ignoreTicket
                   : option == "-S" ? &passwordFromInput
                                    : nullptr;
      if (!flag || *flag) break;
      *flag = true;
    }
    // Listing asks nothing in the sim, so it goes with -n alone.
    if (nonInteractive == passwordFromInput || (list && !nonInteractive) || at >= argc || argv[at][0] != '/') {
      return refuse("this simulated sudo only runs: sudo -n|-S [-k] <absolute command> [argument ...] or "
                    "sudo -n [-k] -l <absolute command> [argument ...]");
    }
    if (!list) corvel::sim::ensureInitialized(root);
    std::vector<corvel::sim::SudoersRule> rules;
    std::string complaint;
    if (!loadRules(root / "etc" / "sudoers.d", rules, complaint)) return refuse(complaint);

    const std::string command = argv[at];
    const std::string executable = simToolFor(command);
    if (::access(executable.c_str(), X_OK) != 0) return refuse(command + ": command not found");

    const passwd* account = ::getpwuid(::getuid());
    const char* privileged = std::getenv(corvel::sim::PrivilegedVariable);
    const bool asRoot = privileged && std::string_view(privileged) == "1";
    const std::string user = account ? account->pw_name : "";
    corvel::sim::SudoRequest request{user, hostNames(), command, std::vector<std::string>(argv + at + 1, argv + argc)};
    const bool allowed = asRoot || (account && corvel::sim::allows(rules, request));
    bool authenticated = asRoot || (account && corvel::sim::grantsWithoutPassword(rules, request)) ||
                         (account && !ignoreTicket && hasLiveTicket(root, user));
    if (!authenticated && nonInteractive) return list ? 1 : refuse("a password is required");
    if (!authenticated) {
      std::string password = corvel::sim::readPasswordLine();
      const auto expected = corvel::sim::readValue(root, "login-password");
      authenticated = account && expected && password == *expected;
      explicit_bzero(password.data(), password.size());
      if (!authenticated) return refuse("1 incorrect password attempt");
      if (!ignoreTicket) recordTicket(root, user);
    }
    std::string shown = command;
    for (const auto& argument : request.arguments) shown += " " + argument;
    if (list) {
      if (!allowed) return 1;
      std::printf("%s\n", shown.c_str());
      return std::fflush(stdout) == 0 ? 0 : 1;
    }
    if (!allowed) {
      std::fprintf(stderr, "Sorry, user %s is not allowed to execute '%s' as root.\n", user.c_str(), shown.c_str());
      return 1;
    }

    ::setenv(corvel::sim::PrivilegedVariable, "1", 1);
    std::vector<char*> arguments(argv + at, argv + argc);
    arguments[0] = const_cast<char*>(executable.c_str());
    arguments.push_back(nullptr);
    ::execv(executable.c_str(), arguments.data());
    return refuse("unable to execute " + command + ": " + std::strerror(errno));
  } catch (const std::exception& error) {
    return refuse(error.what());
  }
}
