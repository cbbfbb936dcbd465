// Corvel's command line: the switches it knows, what macOS adds, and what it refuses.
#include "main/command_line.h"

#include <gtest/gtest.h>

namespace corvel {
namespace {

TEST(CommandLineTest, ASwitchCountsOnlyExactlyAndAnyOtherDoubleDashIsRefused) {
  using A = CommandLine::Action;
  const struct {
    std::vector<std::string> arguments;  // after the program
    A action;
    bool json = false;
  } rows[] = {
      {{}, A::open},
      {{"--watchdog-launch"}, A::open},
      {{"-psn_0_123456", "-NSDocumentRevisionsDebugMode", "--YES", "-AppleLanguages", "(ja)"}, A::open},
      {{"-diagnose", "diagnose", "status"}, A::open},
      {{"--diagnose", "--watchdog-launch"}, A::diagnose},
      {{"--status"}, A::status},
      {{"--json", "--status"}, A::status, true},
      {{"--status", "--watchdog-launch", "--json"}, A::status, true},
      {{"--stauts"}, A::refuse},
      {{"--STATUS"}, A::refuse},
      {{"--status=json"}, A::refuse},
      {{"--status", "--jsn"}, A::refuse},
      {{"--json"}, A::refuse},
      {{"--diagnose", "--json"}, A::refuse},
      {{"--diagnose", "--"}, A::refuse},
      {{"-NSValue"}, A::open},  // a name at the very end has no value to pass over
      {{"-NSValue", "x", "--bad"}, A::refuse},
  };
  for (const auto& row : rows) {
    std::vector<std::string> arguments{"/Applications/Corvel.app/Contents/MacOS/Corvel"};
    arguments.insert(arguments.end(), row.arguments.begin(), row.arguments.end());
    const CommandLine line = parseCommandLine(arguments);
    SCOPED_TRACE(::testing::PrintToString(row.arguments));
    EXPECT_EQ(line.action, row.action);
    EXPECT_EQ(line.refusal.empty(), row.action != A::refuse);
    if (row.action != A::refuse) {
      EXPECT_EQ(line.json, row.json);
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
