// Reading the screen-lock setting: the parser's table, and the read, apply and session operations
// over fakes of the ports.
#include <gtest/gtest.h>

#include "main/app_delegate.h"
#include "main/remote/screen_lock.h"
#include "tests/support/fakes.h"

namespace corvel {
namespace {

using test::FakePlatform;
using test::ProcessCall;

struct ParseCase {
  const char* name;
  std::string text;
  ScreenLockState expected;
};

class ParseScreenLockStateTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseScreenLockStateTest, Parses) {
  EXPECT_EQ(parseScreenLockState(GetParam().text), GetParam().expected)
      << "got " << describe(parseScreenLockState(GetParam().text));
}

const ParseCase kPhrases[] = {
    {"ImmediateMixedCase", "screenLock delay is immediate", ScreenLockState::immediate()},
    {"OffUpperCase", "Screenlock is OFF", ScreenLockState::off()},
    {"DelayIsOff", "screenlock delay is off", ScreenLockState::off()},
    {"IsImmediate", "screenlock is immediate", ScreenLockState::immediate()},
    {"RealToolLine", "2026-12-06 10:00:00.123 sysadminctl[612:8312] screenLock delay is 300 seconds\n",
     ScreenLockState::delay(300)},
    {"NumberWithoutDelay", "screenlock is 5", ScreenLockState::delay(5)},
    {"ZeroIsImmediate", "screenlock delay is 0 seconds", ScreenLockState::immediate()},
    {"LeadingZeros", "screenlock delay is 007", ScreenLockState::delay(7)},
    {"KelvinSignLowersToK", "SCREENLOC\u212A IS OFF", ScreenLockState::off()},
    {"PhraseMidLine", "note: screenlock is off; bye", ScreenLockState::off()},
};
INSTANTIATE_TEST_SUITE_P(Phrases, ParseScreenLockStateTest, ::testing::ValuesIn(kPhrases),
                         [](const auto& info) { return info.param.name; });

const ParseCase kPrecedence[] = {
    {"OffBeatsNumber", "screenlock delay is 60\nscreenlock is off", ScreenLockState::off()},
    {"ImmediateBeatsNumber", "screenlock delay is 60 screenlock delay is immediate", ScreenLockState::immediate()},
    {"FirstNumberCounts", "screenlock is 10 then screenlock delay is 20", ScreenLockState::delay(10)},
    {"OffBeatsImmediate", "screenlock is immediate screenlock is off", ScreenLockState::off()},
};
INSTANTIATE_TEST_SUITE_P(Precedence, ParseScreenLockStateTest, ::testing::ValuesIn(kPrecedence),
                         [](const auto& info) { return info.param.name; });

const ParseCase kUnknown[] = {
    {"Empty", "", ScreenLockState::unknown()},
    {"NegativeNumber", "screenlock delay is -5", ScreenLockState::unknown()},
    {"MinusOneSeconds", "screenLock delay is -1 seconds", ScreenLockState::unknown()},
    {"DoubleBlank", "screenlock  is off", ScreenLockState::unknown()},
    {"NoDigits", "screenlock delay is never", ScreenLockState::unknown()},
    {"Overflow", "screenlock delay is 9223372036854775808", ScreenLockState::unknown()},
    {"ArabicIndicDigits", "screenlock delay is \u0661\u0662", ScreenLockState::unknown()},
    // The digit class takes other scripts' digits, so the first match is refused whole rather than
    // the parser skipping ahead to a later ASCII number.
    {"NonAsciiDigitsBeforeAsciiOnes", "screenlock is \u0661 screenlock delay is 20", ScreenLockState::unknown()},
    {"DottedCapitalIDoesNotMakeIs", "screenlock \u0130s off", ScreenLockState::unknown()},
    {"InvalidUtf8", "\xff\xfe", ScreenLockState::unknown()},
};
INSTANTIATE_TEST_SUITE_P(Unknown, ParseScreenLockStateTest, ::testing::ValuesIn(kUnknown),
                         [](const auto& info) { return info.param.name; });

TEST(ParseScreenLockStateEdgeTest, LargestInt64IsADelay) {
  EXPECT_EQ(parseScreenLockState("screenlock is 9223372036854775807"), ScreenLockState::delay(INT64_MAX));
}

class ScreenLockOperationsTest : public ::testing::Test {
 protected:
  FakePlatform fake;
  AppDelegate delegate{fake.platform};
  std::string toolValue = "immediate";  // what a status read reports
  int changeExitCode = 0;

  void SetUp() override {
    fake.processes.respond = [this](const ProcessCall& call) -> ProcessResult {
      if (call.arguments == std::vector<std::string>{"-screenLock", "status"}) {
        return {0, "2026-12-06 10:00:00.123 sysadminctl[1:2] screenLock " + toolValue + "\n"};
      }
      if (changeExitCode == 0) {
        const std::string& v = call.arguments.at(1);
        toolValue = v == "off" ? "is off" : v == "immediate" ? "delay is immediate" : "delay is " + v + " seconds";
      }
      return {changeExitCode, ""};
    };
  }
};

TEST_F(ScreenLockOperationsTest, StatusIsReadFromTheToolWhateverItsExitCode) {
  toolValue = "delay is 300 seconds";
  EXPECT_EQ(delegate.screenLockState(), ScreenLockState::delay(300));
  fake.processes.respond = [](const ProcessCall&) { return ProcessResult{-1, ""}; };
  EXPECT_EQ(delegate.screenLockState(), ScreenLockState::unknown());
  ASSERT_EQ(fake.processes.calls.size(), 2u);
  EXPECT_EQ(fake.processes.calls[0].executable, "/usr/sbin/sysadminctl");
  EXPECT_FALSE(fake.processes.calls[0].input);
}

TEST_F(ScreenLockOperationsTest, ApplySendsThePasswordOnStandardInputAndReadsBack) {
  const std::string password = "p a's\"s\\w";
  EXPECT_TRUE(delegate.applyScreenLockState(ScreenLockState::off(), password));
  ASSERT_EQ(fake.processes.calls.size(), 2u);
  const ProcessCall& change = fake.processes.calls[0];
  EXPECT_EQ(change.arguments, (std::vector<std::string>{"-screenLock", "off", "-password", "-"}));
  EXPECT_EQ(change.input, password + "\n");
  for (const auto& argument : change.arguments) EXPECT_EQ(argument.find(password), std::string::npos);
  EXPECT_EQ(fake.processes.calls[1].arguments, (std::vector<std::string>{"-screenLock", "status"}));

  EXPECT_TRUE(delegate.applyScreenLockState(ScreenLockState::delay(300), ""));
  EXPECT_EQ(fake.processes.calls[2].arguments[1], "300");
  EXPECT_EQ(fake.processes.calls[2].input, "\n");
}

TEST_F(ScreenLockOperationsTest, ApplyFailsOnRefusalWithoutReadingBack) {
  changeExitCode = 1;
  EXPECT_FALSE(delegate.applyScreenLockState(ScreenLockState::off(), "wrong"));
  EXPECT_EQ(fake.processes.calls.size(), 1u);
}

TEST_F(ScreenLockOperationsTest, ApplyFailsWhenTheReadBackDiffers) {
  // The tool accepts the change but the setting stays as it was.
  fake.processes.respond = [](const ProcessCall& call) -> ProcessResult {
    if (call.arguments[1] == "status") return {0, "screenLock delay is immediate"};
    return {0, ""};
  };
  EXPECT_FALSE(delegate.applyScreenLockState(ScreenLockState::off(), "pw"));
  // Unknown is sent as "immediate", and the read-back never equals unknown.
  EXPECT_FALSE(delegate.applyScreenLockState(ScreenLockState::unknown(), "pw"));
  EXPECT_TRUE(delegate.applyScreenLockState(ScreenLockState::immediate(), "pw"));
}

TEST_F(ScreenLockOperationsTest, SessionLockedOnlyOnABooleanTrue) {
  const std::pair<std::optional<bool>, bool> table[] = {{std::nullopt, false}, {false, false}, {true, true}};
  for (const auto& [flag, expected] : table) {
    fake.session.flag = flag;
    EXPECT_EQ(delegate.isSessionLocked(), expected);
  }
  EXPECT_TRUE(fake.processes.calls.empty());
}

}  // namespace
}  // namespace corvel
