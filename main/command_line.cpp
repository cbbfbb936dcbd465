// Recognising Corvel's arguments and switches, and building the diagnostic line.
#include "command_line.h"

#include <algorithm>

namespace corvel {

bool hasArgument(const std::vector<std::string>& arguments, std::string_view argument) {
  return std::any_of(arguments.begin(), arguments.end(), [&](const std::string& a) { return a == argument; });
}

bool isSwitchOn(const std::optional<std::string>& value) { return value && *value == "1"; }

std::string diagnosticLine(std::string_view bundleIdentifier) {
  // A bundle identifier holds only letters, digits, dots and hyphens, so nothing needs escaping.
  return R"({"bundleIdentifier":")" + std::string(bundleIdentifier) +
         R"(","minimumSystem":"13.0","modes":["standard","remoteStrong"]})";
}

}  // namespace corvel
