// The simulated Mac's folder: where it is, what a new one holds, and how its plain files are kept.
//
// Layout under the root:
//   mac/screenlock        the screen-lock setting as the tool takes it: "immediate", "off" or seconds
//   mac/disablesleep      the power-management sleep switch, "0" or "1"; absent until first set
//   mac/login-password    the account's login password (a new root holds "corvel")
//   mac/touchid           "available" or "unavailable"
//   mac/session-locked    "1" while the login session's screen is locked, else "0"
//   mac/assertions/<pid>  one file per power assertion held by a live caffeinate
//   mac/battery           "<percent> <source>", source "ac" or "battery"; absent on a Mac without one
//   mac/thermal           "nominal", "fair", "serious" or "critical"; absent: nominal
//   mac/lid               "open" or "closed"; absent: open
//   mac/slept             one line per pmset sleepnow that put the Mac to sleep, with its UTC time
//   etc/sudoers.d/        the sudoers drop-in folder (root's /etc/sudoers.d)
//   private/tmp/          the system's /private/tmp
//   Library/Preferences/  the user defaults, one JSON file per domain
//   Library/LaunchAgents/ registered launch agents
//   launchd/              what the launchd stand-in of each registered agent records (launchd_jobs.h)
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace corvel::sim {

// $CORVEL_SIM_ROOT made absolute, else "corvel-sim" under the XDG state folder ($XDG_STATE_HOME
// when absolute, or ~/.local/state, with the home folder from the account database when HOME is
// unset); empty when there is no home folder either.
std::filesystem::path rootFolder();

// Why `root` cannot serve as a simulated Mac, in one line: it is not an absolute path, it is / or a
// system folder of this machine (which the simulation would then change for real), it belongs to
// another user, or others may write to it (and so plant links and files in it). None when it may.
std::optional<std::string> refusalOfRoot(const std::filesystem::path& root);
// As refusalOfRoot(), and then makes the root (for its owner alone) and what a new simulated Mac
// holds, or says in one line why it cannot.
std::optional<std::string> prepareRoot(const std::filesystem::path& root);

// Creates the folders and the default files of a new simulated Mac; leaves existing ones alone.
// Throws std::filesystem::filesystem_error or std::system_error when they cannot be made.
void ensureInitialized(const std::filesystem::path& root);

// The folder of the running program: the built programs and the sim tools (in its "sim/") lie
// there, as the applications and system tools of the simulated Mac.
std::filesystem::path programFolder();

// One value of the simulated machine, mac/<name>, without a trailing line feed; none when absent.
std::optional<std::string> readValue(const std::filesystem::path& root, std::string_view name);
void writeValue(const std::filesystem::path& root, std::string_view name, std::string_view value);
// Whether nothing at all is at mac/<name>. A value that is there but cannot be read (a dangling link,
// a folder that may not be entered) is not absent: it must never pass for the default a missing one
// stands for.
bool valueAbsent(const std::filesystem::path& root, std::string_view name);

// Writes a sibling temporary file, flushes it and renames it over `path`, so a reader sees either
// the old or the new contents, never a mix. Throws std::system_error on failure.
void replaceFileAtomically(const std::filesystem::path& path, std::string_view contents, unsigned mode = 0644);

// A free name beside `file` to set it aside under, as it is: "<name>.<why>-<UTC time>-<pid>[-<n>]".
std::filesystem::path setAsideName(const std::filesystem::path& file, std::string_view why);

// The whole file, or none when it cannot be read.
std::optional<std::string> readFile(const std::filesystem::path& path);

// Where a macOS system path lies in the simulated Mac: /etc/sudoers.d/… and /private/tmp/… move
// under the root; every other path is returned unchanged.
std::string mapSystemPath(const std::filesystem::path& root, std::string_view path);

// A system tool's change of mac/<name>. For tests of what a kill in the middle of a flow leaves
// behind: when CORVEL_SIM_PAUSE_AFTER names `tool`, the tool marks mac/paused with its name and pid
// right after it has changed the value (not when it sets the value there already) and then waits a
// minute before it ends, which leaves the caller waiting on it long enough to be killed there. An
// absent value counts as `absent`.
void changeValue(const std::filesystem::path& root, std::string_view name, std::string_view value,
                 std::string_view tool, std::string_view absent = "");

// The environment variable through which the sim tools tell each other they run as root (the sim
// sudo and the administrator script set it; the real uid is not consulted, since tests may run as
// root themselves).
inline constexpr const char* PrivilegedVariable = "CORVEL_SIM_PRIVILEGED";

}  // namespace corvel::sim
