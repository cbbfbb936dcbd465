// Installing, probing and removing the limited sudo permission, through the administrator script.
#include "limited_permission.h"

#include "support/unicode.h"
#include "support/utf8.h"

namespace corvel {
namespace {

std::string replaceAll(std::string_view text, char from, std::string_view to) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == from) {
      out += to;
    } else {
      out.push_back(c);
    }
  }
  return out;
}

// sudoers reads such a word in the user position as an alias (defined wherever the main file says)
// or, for "ALL", as every user: either would hand the rule to people other than this account.
bool sudoersReadsAsAliasOrAll(std::string_view name) {
  const auto upper = [](char c) { return c >= 'A' && c <= 'Z'; };
  const auto digit = [](char c) { return c >= '0' && c <= '9'; };
  if (name.empty() || !upper(name.front())) return false;
  for (char c : name) {
    if (!(upper(c) || digit(c) || c == '_')) return false;
  }
  return true;
}

}  // namespace

bool isSafeAccountName(std::string_view name) {
  if (name.empty()) return false;
  std::size_t i = 0;
  while (i < name.size()) {
    const auto c = utf8::next(name, i);
    if (!c) return false;
    if (!(unicode::isAlphanumeric(*c) || *c == '_' || *c == '-' || *c == '.')) return false;
  }
  return true;
}

std::optional<std::string> limitedSudoersRule(std::string_view account) {
  if (!isSafeAccountName(account) || sudoersReadsAsAliasOrAll(account)) return std::nullopt;
  return std::string(account) +
         " ALL = (root) NOPASSWD: /usr/bin/pmset -a disablesleep 0, /usr/bin/pmset -a disablesleep 1";
}

std::string shellSingleQuote(std::string_view text) { return "'" + replaceAll(text, '\'', "'\\''") + "'"; }

std::string escapedForScriptString(std::string_view text) {
  // Order matters: the backslashes added for quotes must not be doubled again.
  return replaceAll(replaceAll(text, '\\', "\\\\"), '"', "\\\"");
}

std::string administratorScriptSource(std::string_view command) {
  return "do shell script \"" + escapedForScriptString(command) + "\" with administrator privileges";
}

std::string sudoersDropInName(std::string_view account) { return "corvel-" + replaceAll(account, '.', "+"); }

std::string installedPermissionPath(std::string_view account) { return "/etc/sudoers.d/" + sudoersDropInName(account); }

std::optional<std::string> installPermissionCommand(std::string_view account) {
  const auto rule = limitedSudoersRule(account);
  if (!rule) return std::nullopt;
  // A fixed name in the world-writable /private/tmp would let anyone plant a link there for root to
  // follow; a folder made fresh by mktemp is root's alone. The folder goes whatever the outcome.
  const std::string temporary = "\"$d\"/" + shellSingleQuote(sudoersDropInName(account) + ".sudoers");
  const std::string installed = shellSingleQuote(installedPermissionPath(account));
  return "d=$(/usr/bin/mktemp -d " + shellSingleQuote("/private/tmp/corvel.XXXXXX") + ") && " +
         "/usr/bin/printf '%s\\n' " + shellSingleQuote(*rule) + " > " + temporary + " && /bin/chmod 440 " + temporary +
         " && /usr/sbin/visudo -cf " + temporary + " && /bin/mv " + temporary + " " + installed +
         " && /bin/chmod 440 " + installed + "; s=$?; [ -n \"$d\" ] && /bin/rm -rf \"$d\"; exit $s";
}

std::optional<std::string> removePermissionCommand(std::string_view account) {
  if (!isSafeAccountName(account)) return std::nullopt;
  return "/bin/rm -f " + shellSingleQuote(installedPermissionPath(account));
}

bool LimitedPermission::runAdministratorAppleScript(const std::string& command) {
  return administratorScript_.execute(administratorScriptSource(command));
}

bool LimitedPermission::installLimitedPermission() {
  const auto command = installPermissionCommand(environment_.userName());
  if (!command) return false;
  if (!runAdministratorAppleScript(*command)) return false;
  return hasLimitedPermission();
}

bool LimitedPermission::removeLimitedPermission() {
  const std::string account = environment_.userName();
  const auto command = removePermissionCommand(account);
  if (!command) return false;
  if (!files_.fileExists(installedPermissionPath(account))) return true;
  return runAdministratorAppleScript(*command);
}

AdministratorScriptOutcome LimitedPermission::allowSleepWithApproval() {
  return administratorScript_.executeTellingCancel(administratorScriptSource(AllowSleepCommand));
}

bool LimitedPermission::hasLimitedPermission() {
  // The probe re-sets the value it read; with no reading it would set a guess, and so could let the
  // Mac sleep again while protection holds it awake.
  const auto disabled = sleepSwitch_.readSleepDisabled();
  return disabled && sleepSwitch_.runPrivilegedPmset(*disabled);
}

}  // namespace corvel
