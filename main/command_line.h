// Corvel's command line and environment switches, and the diagnostic line.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvel {

inline constexpr std::string_view DiagnoseArgument = "--diagnose";
inline constexpr std::string_view StatusArgument = "--status";
inline constexpr std::string_view JsonArgument = "--json";  // with --status only
inline constexpr std::string_view NoToggleVariable = "CORVEL_NO_TOGGLE";
inline constexpr std::string_view SkipServiceVariable = "CORVEL_SKIP_SERVICE";

// Recognised only as a whole, case-sensitive element, at any position.
bool hasArgument(const std::vector<std::string>& arguments, std::string_view argument);
// A switch counts only when set to exactly "1".
bool isSwitchOn(const std::optional<std::string>& value);

// One line of compact JSON describing the program, without its line feed.
std::string diagnosticLine(std::string_view bundleIdentifier);

}  // namespace corvel
