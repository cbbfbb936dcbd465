// The narrow sudoers rule that lets Corvel switch system sleep without a password: the texts it is
// built from and the quoting everything rests on.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "main/engine/sleep_switch.h"
#include "ports/administrator_script.h"
#include "ports/file_system.h"
#include "ports/process_environment.h"

namespace corvel {

// Non-empty, valid UTF-8, and every scalar a letter, mark or number (any script) or one of "_-.".
bool isSafeAccountName(std::string_view name);
// "<name> ALL = (root) NOPASSWD: ..." for exactly the two pmset commands; none for an unsafe name,
// and none for a name that sudoers would read as "ALL" (every user) or as an alias ([A-Z][A-Z0-9_]*),
// which would hand the rule to others.
std::optional<std::string> limitedSudoersRule(std::string_view account);

// One POSIX shell word that stands for `text` exactly.
std::string shellSingleQuote(std::string_view text);
// `text` escaped for a string literal of the system's script language: backslashes doubled first,
// then each double quote preceded by a backslash.
std::string escapedForScriptString(std::string_view text);
// do shell script "<escaped command>" with administrator privileges
std::string administratorScriptSource(std::string_view command);

// The drop-in's file name: "corvel-" and the account name. sudo ignores drop-ins whose name holds a
// ".", so each "." is written as "+", which no account name contains: the mapping stays one-to-one.
std::string sudoersDropInName(std::string_view account);
// "/etc/sudoers.d/" and the drop-in name.
std::string installedPermissionPath(std::string_view account);

// The root shell line that writes the rule into a fresh private folder, has visudo check it, and
// only then moves it into place with mode 440; none for an unsafe name.
std::optional<std::string> installPermissionCommand(std::string_view account);
// The root shell line that removes the installed drop-in; none for an unsafe name.
std::optional<std::string> removePermissionCommand(std::string_view account);
// The root shell line that allows system sleep again: the one command of the rule that does so, as
// fixed text, so nothing in it comes from outside.
inline constexpr std::string_view AllowSleepCommand = "/usr/bin/pmset -a disablesleep 0";

// The installed rule, for this account: put in place and taken away through the administrator
// script, and probed without changing anything.
class LimitedPermission {
 public:
  LimitedPermission(AdministratorScript& administratorScript, ProcessEnvironment& environment, FileSystem& files,
                    SleepSwitch& sleepSwitch)
      : administratorScript_(administratorScript),
        environment_(environment),
        files_(files),
        sleepSwitch_(sleepSwitch) {}

  // The only way anything runs as root: a shell line, every value in it validated and quoted.
  bool runAdministratorAppleScript(const std::string& command);
  // Installed counts only when the rule then works.
  bool installLimitedPermission();
  // True when no rule is left: removed now, or there was none.
  bool removeLimitedPermission();
  // Re-sets the sleep switch to the value it has: changes nothing and never prompts. False, without
  // the probe, when the switch cannot be read.
  bool hasLimitedPermission();
  // Allows system sleep once, with the administrator's approval for that one command, where the rule
  // is missing: switching off must not install it again, nor switch the screen lock off.
  AdministratorScriptOutcome allowSleepWithApproval();

 private:
  AdministratorScript& administratorScript_;
  ProcessEnvironment& environment_;
  FileSystem& files_;
  SleepSwitch& sleepSwitch_;
};

}  // namespace corvel
