// Where the system tools that Corvel starts directly live on this platform.
#pragma once

#include <string>

namespace corvel {

// Only the executables Corvel starts itself. Tool paths named inside another command (sudo's
// arguments, the sudoers rule, the administrator shell line) are always the macOS texts.
struct ToolPaths {
  std::string caffeinate;
  std::string sudo;
  std::string pmset;
  std::string sysadminctl;
};

// The paths on macOS, fixed by the system.
inline ToolPaths macToolPaths() {
  return {"/usr/bin/caffeinate", "/usr/bin/sudo", "/usr/bin/pmset", "/usr/sbin/sysadminctl"};
}

}  // namespace corvel
