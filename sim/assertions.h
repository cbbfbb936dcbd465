// Power assertions on the simulated Mac: one file per caffeinate process, and who still holds one.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace corvel::sim {

// mac/assertions/<pid>: held by that caffeinate while it lives; contains its assertion flags on the
// first line ("-d -i"), and on the second the machine it holds them on, "machine=<machineIdentity>".
std::filesystem::path assertionFile(const std::filesystem::path& root, pid_t pid);

// What tells this simulated Mac from a copy of its folder: the root folder's device and inode
// ("<dev>:<ino>"); none when it cannot be looked at.
std::optional<std::string> machineIdentity(const std::filesystem::path& root);

// Whether `pid` holds a power assertion on this machine: its assertion file says so for this very
// machine. A copy of the folder carries the original's files along, but not the original's identity.
bool holdsAssertionOn(const std::filesystem::path& root, pid_t pid);

// Whether `pid` names a running process. A zombie (ended, not yet reaped by its parent) counts as
// ended, since the real system releases a process's assertions the moment it dies.
bool processIsAlive(pid_t pid);

// The pids, ascending, whose assertion file lies under `root` and whose process still runs, found
// without touching anything: what a reading tool sees.
std::vector<pid_t> assertionHolders(const std::filesystem::path& root);

// As assertionHolders, and the files of processes that have died (a SIGKILLed caffeinate cannot
// clean up) are removed on the way, as the real system releases those assertions itself.
std::vector<pid_t> liveAssertions(const std::filesystem::path& root);

}  // namespace corvel::sim
