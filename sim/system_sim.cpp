// The session lock flag, system-path questions and the administrator script on the simulated Mac.
#include "system_sim.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include "sim_root.h"

namespace corvel::sim {
namespace {

// The approval is asked before the shell starts; what runs then is a few file operations and visudo.
constexpr RunLimits AdministratorShellLimits{std::chrono::seconds(30), ToolOutputCap};

}  // namespace

std::optional<bool> SimSession::screenIsLockedFlag() {
  // No value file stands for a session without a description, as outside a GUI login.
  const auto value = readValue(root_, "session-locked");
  if (!value) return std::nullopt;
  if (*value == "1") return true;
  if (*value == "0") return false;
  return std::nullopt;
}

bool SimFileSystem::fileExists(const std::string& path) { return real_.fileExists(mapSystemPath(root_, path)); }

std::optional<std::string> parseAdministratorScript(std::string_view source) {
  constexpr std::string_view head = "do shell script \"";
  constexpr std::string_view tail = "\" with administrator privileges";
  if (source.size() < head.size() + tail.size() || source.substr(0, head.size()) != head ||
      source.substr(source.size() - tail.size()) != tail) {
    return std::nullopt;
  }
  const std::string_view literal = source.substr(head.size(), source.size() - head.size() - tail.size());
  std::string command;
  for (std::size_t i = 0; i < literal.size(); ++i) {
    const char c = literal[i];
    if (c == '"') return std::nullopt;  // an unescaped quote would have ended the literal early
    if (c != '\\') {
      command.push_back(c);
      continue;
    }
    if (++i == literal.size()) return std::nullopt;
    switch (literal[i]) {
      case '\\':
        command.push_back('\\');
        break;
      case '"':
        command.push_back('"');
        break;
      case 'n':
        command.push_back('\n');
        break;
      case 'r':
        command.push_back('\r');
        break;
      case 't':
        command.push_back('\t');
        break;
      default:
        return std::nullopt;  // the script language knows no other escape
    }
  }
  return command;
}

namespace {

bool isPlain(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '/' || c == '.' ||
           c == '_' || c == '-' || c == '+';
  });
}

// Where the shell stands at a point of the command: which quotes are open, and the command
// substitutions ($( ) and ` `) that start afresh inside them. Quotes escaped with a backslash inside
// ` ` are not followed; Corvel's commands use $( ).
enum class Quoting { none, single, dual, substitution, backquote };

// `root` as the shell must see it written at a point quoted as `quoting`, to read back as itself.
std::string quotedFor(Quoting quoting, const std::string& root) {
  if (isPlain(root)) return root;
  std::string singleQuoted = "'";
  for (char c : root) singleQuoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  singleQuoted += "'";
  switch (quoting) {
    case Quoting::single:
      return "'" + singleQuoted + "'";  // closes the quote around it and opens it again
    case Quoting::dual: {
      std::string escaped;
      for (char c : root) {
        if (c == '$' || c == '`' || c == '"' || c == '\\') escaped += '\\';
        escaped += c;
      }
      return escaped;
    }
    case Quoting::backquote: {
      // Inside ` ` a backslash before $, ` or \ is taken away before the inner command is read.
      std::string escaped;
      for (char c : singleQuoted) {
        if (c == '$' || c == '`' || c == '\\') escaped += '\\';
        escaped += c;
      }
      return escaped;
    }
    default:
      return singleQuoted;
  }
}

}  // namespace

std::optional<std::string> mapCommandPaths(std::string_view command, const std::filesystem::path& root,
                                           const std::filesystem::path& pmset) {
  // An empty root would leave the real system folders in the command; a relative one would hang on
  // whatever folder the shell happens to start in.
  if (!root.is_absolute()) return std::nullopt;
  // Only at the start of a path, never inside a longer word. A path left unmapped would reach the
  // real system folder, as root when the tests run as root, so redirections and assignments count.
  constexpr std::string_view pathOpeners = " \t\n'\"<>=;&|()`";
  // The root may hold anything a file name can: it is quoted for the place each path stands in.
  struct Level {
    Quoting quoting;
    int parentheses = 0;
  };
  std::vector<Level> levels{{Quoting::none}};
  std::string out;
  for (std::size_t i = 0; i < command.size();) {
    Level& level = levels.back();
    bool mapped = false;
    const bool atPathStart = i == 0 || pathOpeners.find(command[i - 1]) != std::string_view::npos;
    for (std::string_view system : {std::string_view("/etc/sudoers.d/"), std::string_view("/private/tmp/")}) {
      if (atPathStart && command.substr(i, system.size()) == system) {
        out += quotedFor(level.quoting, root.string());
        out += system;
        i += system.size();
        mapped = true;
        break;
      }
    }
    // The power tool run as root is the simulated Mac's own, as sudo maps it: only the whole name, and
    // only unquoted, where it can be a command; quoted it is text (the sudoers rule names it).
    constexpr std::string_view macPmset = "/usr/bin/pmset";
    const std::size_t end = i + macPmset.size();
    const bool unquoted = level.quoting == Quoting::none || level.quoting == Quoting::substitution;
    if (!mapped && !pmset.empty() && unquoted && atPathStart && command.substr(i, macPmset.size()) == macPmset &&
        (end == command.size() || pathOpeners.find(command[end]) != std::string_view::npos)) {
      out += quotedFor(level.quoting, pmset.string());
      i = end;
      mapped = true;
    }
    if (mapped) continue;
    const char c = command[i];
    const char next = i + 1 < command.size() ? command[i + 1] : '\0';
    std::size_t length = 1;
    if (level.quoting == Quoting::single) {
      if (c == '\'') levels.pop_back();
    } else if (c == '\\') {
      length = next ? 2 : 1;
    } else if (c == '$' && next == '(') {
      levels.push_back({Quoting::substitution});
      length = 2;
    } else if (c == '`') {
      if (level.quoting == Quoting::backquote) {
        levels.pop_back();
      } else {
        levels.push_back({Quoting::backquote});
      }
    } else if (level.quoting == Quoting::dual) {
      if (c == '"') levels.pop_back();
    } else if (c == '\'') {
      levels.push_back({Quoting::single});
    } else if (c == '"') {
      levels.push_back({Quoting::dual});
    } else if (level.quoting == Quoting::substitution && c == '(') {
      ++level.parentheses;
    } else if (level.quoting == Quoting::substitution && c == ')') {
      if (level.parentheses-- == 0) levels.pop_back();
    }
    out.append(command.substr(i, length));
    i += length;
  }
  return out;
}

bool SimAdministratorScript::execute(const std::string& source) {
  return executeTellingCancel(source) == AdministratorScriptOutcome::succeeded;
}

AdministratorScriptOutcome SimAdministratorScript::executeTellingCancel(const std::string& source) {
  const auto command = parseAdministratorScript(source);
  if (!command) return AdministratorScriptOutcome::failed;
  const auto mapped = mapCommandPaths(*command, root_, pmset_);
  if (!mapped) return AdministratorScriptOutcome::failed;
  const auto answer =
      frontEnd_.ask("管理者の承認: Corvelが変更を加えようとしています。許可しますか？", {"approve", "cancel"});
  // No answer at all (the dialog timed out, the input ended) is no decision of the person's.
  if (!answer) return AdministratorScriptOutcome::failed;
  if (*answer != "approve") return AdministratorScriptOutcome::cancelled;
  const std::string privileged = std::string(PrivilegedVariable) + "=1";
  return processes_.run("/usr/bin/env", {privileged, "/bin/sh", "-c", *mapped}, AdministratorShellLimits).exitCode == 0
             ? AdministratorScriptOutcome::succeeded
             : AdministratorScriptOutcome::failed;
}

}  // namespace corvel::sim
