// Corvel's command line and environment switches, and the diagnostic line.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "main/safety/guard_settings.h"

namespace corvel {

inline constexpr std::string_view DiagnoseArgument = "--diagnose";
inline constexpr std::string_view StatusArgument = "--status";
inline constexpr std::string_view JsonArgument = "--json";  // with --status or --settings
inline constexpr std::string_view SettingsArgument = "--settings";
inline constexpr std::string_view SetArgument = "--set";        // NAME VALUE
inline constexpr std::string_view ExtendArgument = "--extend";  // DURATION
inline constexpr std::string_view NoToggleVariable = "CORVEL_NO_TOGGLE";
inline constexpr std::string_view SkipServiceVariable = "CORVEL_SKIP_SERVICE";

// What the command line asks of Corvel.
struct CommandLine {
  enum class Action { open, diagnose, status, settings, set, extend, refuse };
  Action action = Action::open;
  bool json = false;                 // status, settings: one JSON line instead of the text
  GuardSetting setting{};            // set: which one
  GuardSettings asked;               // set: `setting` as asked, every other one at its default
  std::chrono::minutes extension{};  // extend: by how much
  std::string refusal;               // refuse: the one line for standard error, without its line feed
};

// EX_USAGE: the command line was wrong.
inline constexpr int UsageExitStatus = 64;

// `arguments` as the process got them, the program first. A switch counts only as a whole,
// case-sensitive element, at any position. Any other element that starts with "--" is refused: a
// mistyped switch must not be taken for opening Corvel, which switches protection. What macOS adds
// itself ("-psn_…", and "-NS…" or "-Apple…" with the value after it) and other words are ignored,
// except beside a settings switch, which goes alone: --set takes the next two elements as its name and
// value and --extend the next one as its duration, each checked here, and any other word is refused.
CommandLine parseCommandLine(const std::vector<std::string>& arguments);

// Recognised only as a whole, case-sensitive element, at any position.
bool hasArgument(const std::vector<std::string>& arguments, std::string_view argument);
// A switch counts only when set to exactly "1".
bool isSwitchOn(const std::optional<std::string>& value);

// One line of compact JSON describing the program, without its line feed.
std::string diagnosticLine(std::string_view bundleIdentifier);

}  // namespace corvel
