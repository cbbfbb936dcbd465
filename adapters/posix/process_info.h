// What the system can tell about another process: whether it lives, who it is, what it runs.
#pragma once

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

#include "ports/process_runner.h"

namespace corvel {

// The identity of the live process `pid`; none when there is none, or it has ended and waits only
// to be collected (a zombie), or the system does not tell.
std::optional<ProcessIdentity> identityOf(pid_t pid);

// The argument vector `pid` runs with (the program path first), or none when there is no such
// live process or it cannot be read. A process that has ended but not been collected yet counts
// as gone.
std::optional<std::vector<std::string>> commandLineOf(pid_t pid);

}  // namespace corvel
