// What the system can tell about another process of the same user.
#pragma once

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace corvel {

// The argument vector `pid` runs with (the program path first), or none when there is no such
// live process or it cannot be read. A process that has ended but not been collected yet counts
// as gone.
std::optional<std::vector<std::string>> commandLineOf(pid_t pid);

}  // namespace corvel
