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
  EXPECT_EQ(parseCommandLine({"Corvel", "--st\x1b[2Jatus"}).refusal,
            "Corvel: unknown switch --st?[2Jatus; the switches are --diagnose, --status [--json] and "
            "--watchdog-launch");
  EXPECT_EQ(parseCommandLine({"Corvel", "--json"}).refusal,
            "Corvel: --json goes only with --status; the switches are --diagnose, --status [--json] and "
            "--watchdog-launch");
}

}  // namespace
}  // namespace corvel
