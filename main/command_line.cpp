// Recognising Corvel's arguments and switches, and building the diagnostic line.
#include "command_line.h"

#include <algorithm>

#include "main/modes.h"
#include "support/identity.h"

namespace corvel {
namespace {

// The argument as it may be shown on a terminal: a control character could rewrite the screen.
std::string printable(std::string text) {
  std::replace_if(
      text.begin(), text.end(), [](char c) { return (c >= 0 && c < 0x20) || c == 0x7f; }, '?');
  return text;
}

}  // namespace

CommandLine parseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine line;
  bool diagnose = false, status = false;
  std::optional<std::string> problem;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument.starts_with("-NS") || argument.starts_with("-Apple")) {
      ++i;  // its value, whatever it looks like
    } else if (argument == DiagnoseArgument) {
      diagnose = true;
    } else if (argument == StatusArgument) {
      status = true;
    } else if (argument == JsonArgument) {
      line.json = true;
    } else if (argument != WatchdogLaunchArgument && argument.starts_with("--") && !problem) {
      problem = "unknown switch " + printable(argument);
    }
  }
  if (line.json && !status && !problem)
    problem = std::string(JsonArgument) + " goes only with " + std::string(StatusArgument);
  if (problem) {
    line.action = CommandLine::Action::refuse;
    line.refusal = "Corvel: " + *problem + "; the switches are " + std::string(DiagnoseArgument) + ", " +
                   std::string(StatusArgument) + " [" + std::string(JsonArgument) + "] and " +
                   std::string(WatchdogLaunchArgument);
  } else if (diagnose) {
    line.action = CommandLine::Action::diagnose;
  } else if (status) {
    line.action = CommandLine::Action::status;
  }
  return line;
}

bool hasArgument(const std::vector<std::string>& arguments, std::string_view argument) {
  return std::any_of(arguments.begin(), arguments.end(), [&](const std::string& a) { return a == argument; });
}

bool isSwitchOn(const std::optional<std::string>& value) { return value && *value == "1"; }

std::string diagnosticLine(std::string_view bundleIdentifier) {
  // A bundle identifier holds only letters, digits, dots and hyphens, so nothing needs escaping.
  std::string modes;
  for (const ModeTraits& row : protectionModes()) modes += (modes.empty() ? "\"" : ",\"") + std::string(row.raw) + "\"";
  return R"({"bundleIdentifier":")" + std::string(bundleIdentifier) + R"(","minimumSystem":"13.0","modes":[)" + modes +
         "]}";
}

}  // namespace corvel
