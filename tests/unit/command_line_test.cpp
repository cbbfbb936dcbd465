// Corvel's command line: the switches it knows, what macOS adds, and what it refuses.
#include "main/command_line.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace corvel {
namespace {

TEST(CommandLineTest, ASwitchCountsOnlyExactlyAndAnyOtherDoubleDashIsRefused) {
  using A = CommandLine::Action;
  // One line naming what was wrong and every switch there is, safe for a terminal; a wrong setting or
  // value gets what would be accepted instead.
  const std::string switches =
      "; the switches are --diagnose, --status [--json], --settings [--json], --set NAME VALUE, --extend DURATION "
      "and --watchdog-launch";
  const std::string settings = "; the settings are battery-floor, time-limit, thermal-stop and repair",
                    duration = "a duration from 1m to 7d, such as 30m, 4h or 1h30m";
  // The arguments after the program, the action, and what a refusal says; the status goes as JSON
  // only when asked.
  const std::tuple<std::vector<std::string>, A, std::string> rows[] = {
      {{}, A::open, ""},
      {{"--watchdog-launch"}, A::open, ""},
      {{"-psn_0_123456", "-NSDocumentRevisionsDebugMode", "--YES", "-AppleLanguages", "(ja)"}, A::open, ""},
      {{"-diagnose", "diagnose", "status"}, A::open, ""},
      {{"--diagnose", "--watchdog-launch"}, A::diagnose, ""},
      {{"--status"}, A::status, ""},
      {{"--json", "--status"}, A::status, ""},
      {{"--status", "--watchdog-launch", "--json"}, A::status, ""},
      {{"--STATUS"}, A::refuse, ""},
      {{"--status=json"}, A::refuse, ""},
      {{"--status", "--jsn"}, A::refuse, ""},
      {{"--st\x1b[2Jatus"}, A::refuse, "unknown switch --st?[2Jatus" + switches},
      {{"--json"}, A::refuse, "--json goes only with --status or --settings" + switches},
      {{"--diagnose", "--json"}, A::refuse, ""},
      {{"--diagnose", "--"}, A::refuse, ""},
      {{"-NSValue"}, A::open, ""},  // a name at the very end has no value to pass over
      {{"-NSValue", "x", "--bad"}, A::refuse, ""},
      {{"--set", "repair", "on", "--watchdog-launch"}, A::set, ""},
      // The settings switches go alone.
      {{"--set", "battery-floor", "20", "30"}, A::refuse, ""},
      {{"word", "--settings"}, A::refuse, ""},
      {{"--set", "repair", "on", "--json"}, A::refuse, ""},
      {{"--settings", "--status"}, A::refuse, ""},
      {{"--settings", "--set", "repair", "on"}, A::refuse, ""},
      {{"--set", "battery-floor", "0"}, A::refuse, "battery-floor takes off or a percentage from 1 to 99, not 0"},
      {{"--set", "time-limit", "9d"}, A::refuse, "time-limit takes off or " + duration + ", not 9d"},
      {{"--set", "thermal-stop"}, A::refuse, "--set thermal-stop takes a value: on or off"},
      {{"--set"}, A::refuse, "--set takes a setting's name and its value" + settings},
      {{"--set", "floor\n", "1"}, A::refuse, "no setting is named floor?" + settings},
      {{"--extend"}, A::refuse, "--extend takes " + duration},
      {{"--extend", "off"}, A::refuse, "--extend takes " + duration + ", not off"},
  };
  for (const auto& [rowArguments, action, refusal] : rows) {
    std::vector<std::string> arguments{"/Applications/Corvel.app/Contents/MacOS/Corvel"};
    arguments.insert(arguments.end(), rowArguments.begin(), rowArguments.end());
    const CommandLine line = parseCommandLine(arguments);
    SCOPED_TRACE(::testing::PrintToString(rowArguments));
    EXPECT_EQ(line.action, action);
    EXPECT_EQ(line.refusal.empty(), action != A::refuse);
    EXPECT_EQ(line.refusal, refusal.empty() ? line.refusal : "Corvel: " + refusal);
    EXPECT_EQ(line.json, action == A::refuse ? line.json : std::ranges::count(rowArguments, "--json") == 1);
  }
}

}  // namespace
}  // namespace corvel
