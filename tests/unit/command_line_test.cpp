// Corvel's command line: the switches it knows, what macOS adds, and what it refuses.
#include "main/command_line.h"

#include <gtest/gtest.h>

namespace corvel {
namespace {

TEST(CommandLineTest, ASwitchCountsOnlyExactlyAndAnyOtherDoubleDashIsRefused) {
  using A = CommandLine::Action;
  // The arguments after the program, the action, and whether the status goes as JSON.
  const std::tuple<std::vector<std::string>, A, bool> rows[] = {
      {{}, A::open, false},
      {{"--watchdog-launch"}, A::open, false},
      {{"-psn_0_123456", "-NSDocumentRevisionsDebugMode", "--YES", "-AppleLanguages", "(ja)"}, A::open, false},
      {{"-diagnose", "diagnose", "status"}, A::open, false},
      {{"--diagnose", "--watchdog-launch"}, A::diagnose, false},
      {{"--status"}, A::status, false},
      {{"--json", "--status"}, A::status, true},
      {{"--status", "--watchdog-launch", "--json"}, A::status, true},
      {{"--STATUS"}, A::refuse, false},
      {{"--status=json"}, A::refuse, false},
      {{"--status", "--jsn"}, A::refuse, false},
      {{"--json"}, A::refuse, false},
      {{"--diagnose", "--json"}, A::refuse, false},
      {{"--diagnose", "--"}, A::refuse, false},
      {{"-NSValue"}, A::open, false},  // a name at the very end has no value to pass over
      {{"-NSValue", "x", "--bad"}, A::refuse, false},
      {{"--set", "repair", "on", "--watchdog-launch"}, A::set, false},
      // The settings switches go alone.
      {{"--set", "battery-floor", "20", "30"}, A::refuse, false},
      {{"word", "--settings"}, A::refuse, false},
      {{"--set", "repair", "on", "--json"}, A::refuse, false},
      {{"--settings", "--status"}, A::refuse, false},
      {{"--settings", "--set", "repair", "on"}, A::refuse, false},
  };
  for (const auto& [rowArguments, action, json] : rows) {
    std::vector<std::string> arguments{"/Applications/Corvel.app/Contents/MacOS/Corvel"};
    arguments.insert(arguments.end(), rowArguments.begin(), rowArguments.end());
    const CommandLine line = parseCommandLine(arguments);
    SCOPED_TRACE(::testing::PrintToString(rowArguments));
    EXPECT_EQ(line.action, action);
    EXPECT_EQ(line.refusal.empty(), action != A::refuse);
    if (action != A::refuse) {
      EXPECT_EQ(line.json, json);
    }
  }
  // One line naming what was wrong and every switch there is, safe for a terminal.
  const std::string switches =
      "; the switches are --diagnose, --status [--json], --settings [--json], --set NAME VALUE, --extend DURATION "
      "and --watchdog-launch";
  EXPECT_EQ(parseCommandLine({"Corvel", "--st\x1b[2Jatus"}).refusal, "Corvel: unknown switch --st?[2Jatus" + switches);
  EXPECT_EQ(parseCommandLine({"Corvel", "--json"}).refusal,
            "Corvel: --json goes only with --status or --settings" + switches);
  // A wrong setting or value gets what would be accepted instead.
  const std::string settings = "; the settings are battery-floor, time-limit, thermal-stop and repair",
                    duration = "a duration from 1m to 7d, such as 30m, 4h or 1h30m";
  const std::pair<std::vector<std::string>, std::string> refusals[] = {
      {{"--set", "battery-floor", "0"}, "battery-floor takes off or a percentage from 1 to 99, not 0"},
      {{"--set", "time-limit", "9d"}, "time-limit takes off or " + duration + ", not 9d"},
      {{"--set", "thermal-stop"}, "--set thermal-stop takes a value: on or off"},
      {{"--set"}, "--set takes a setting's name and its value" + settings},
      {{"--set", "floor\n", "1"}, "no setting is named floor?" + settings},
      {{"--extend"}, "--extend takes " + duration},
      {{"--extend", "off"}, "--extend takes " + duration + ", not off"},
  };
  for (auto [words, refusal] : refusals) {
    words.insert(words.begin(), "Corvel");
    EXPECT_EQ(parseCommandLine(words).refusal, "Corvel: " + refusal);
  }
}

}  // namespace
}  // namespace corvel
