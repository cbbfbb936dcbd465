// The screen-lock setting: reading sysadminctl's report, changing it with a read-back, the password's
// path, and the session's lock flag.
#include <algorithm>
#include <gtest/gtest.h>

#include "tests/unit/fakes.h"

namespace corvel {
namespace {

using Lock = ScreenLockState;

struct ParseCase {
  const char* name;
  std::string text;
  Lock expected;
};

// The row's name stands for it in test listings, rather than a dump of its bytes.
void PrintTo(const ParseCase& c, std::ostream* out) { *out << c.name; }

class ParseScreenLockStateTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseScreenLockStateTest, Parses) {
  EXPECT_EQ(parseScreenLockState(GetParam().text), GetParam().expected)
      << "got " << describe(parseScreenLockState(GetParam().text));
}

const ParseCase kCases[] = {
    {"ToolLine", "2026-12-06 10:00:00.123 sysadminctl[612:8312] screenLock delay is 300 seconds\n", Lock::delay(300)},
    {"ImmediateAnyCase", "screenLock delay is IMMEDIATE", Lock::immediate()},
    {"Off", "Screenlock is OFF", Lock::off()},
    {"DelayIsOff", "screenlock delay is off", Lock::off()},
    {"IsImmediate", "screenlock is immediate", Lock::immediate()},
    {"NumberWithoutDelay", "screenlock is 5", Lock::delay(5)},
    {"ZeroIsImmediate", "screenlock delay is 0 seconds", Lock::immediate()},
    {"LargestDelay", "screenlock is 9223372036854775807", Lock::delay(INT64_MAX)},
    {"KelvinSignLowersToK", "SCREENLOC\u212A IS OFF", Lock::off()},
    {"OffBeatsANumber", "screenlock delay is 60\nscreenlock is off", Lock::off()},
    {"ImmediateBeatsANumber", "screenlock delay is 60 screenlock delay is immediate", Lock::immediate()},
    {"OffBeatsImmediate", "screenlock is immediate screenlock is off", Lock::off()},
    {"FirstNumberCounts", "screenlock is 10 then screenlock delay is 20", Lock::delay(10)},
    {"APhraseWithoutDigitsIsPassedOver", "screenlock is never; screenlock delay is 5", Lock::delay(5)},
    {"Empty", "", Lock::unknown()},
    {"Negative", "screenLock delay is -1 seconds", Lock::unknown()},
    {"DoubleBlank", "screenlock  is off", Lock::unknown()},
    {"Overflow", "screenlock delay is 9223372036854775808", Lock::unknown()},
    {"ArabicIndicDigits", "screenlock delay is \u0661\u0662", Lock::unknown()},
    // The first match is refused whole rather than skipped for a later ASCII number.
    {"OtherDigitsBeforeAsciiOnes", "screenlock is \u0661 screenlock delay is 20", Lock::unknown()},
    {"DottedCapitalIIsNoI", "screenlock \u0130s off", Lock::unknown()},
    {"InvalidByteIsKept", "screenlock is \xffoff", Lock::unknown()},
};
INSTANTIATE_TEST_SUITE_P(Reports, ParseScreenLockStateTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

class ScreenLockTest : public ::testing::Test {
 protected:
  test::FakeMac mac;
  test::FakeSession session;
  ToolPaths tools = macToolPaths();
  ScreenLock screenLock{mac, session, tools};
};

TEST_F(ScreenLockTest, ChangesWithThePasswordOnStandardInputOnlyAndReadsBack) {
  mac.loginPassword = "p a's\"s\\w";
  EXPECT_TRUE(screenLock.applyScreenLockState(Lock::delay(300), mac.loginPassword));
  EXPECT_EQ(mac.calls, (test::Strings{"/usr/sbin/sysadminctl -screenLock 300 -password -",
                                      "/usr/sbin/sysadminctl -screenLock status"}));
  EXPECT_EQ(mac.inputs, (test::Strings{mac.loginPassword + "\n"}));
  EXPECT_FALSE(screenLock.applyScreenLockState(Lock::off(), "wrong"));
  EXPECT_EQ(mac.calls.size(), 3u);  // no read-back after a refusal
  // Neither can be confirmed: unknown is sent as "immediate", a zero delay reads back as immediate.
  EXPECT_FALSE(screenLock.applyScreenLockState(Lock::unknown(), mac.loginPassword));
  EXPECT_FALSE(screenLock.applyScreenLockState(Lock::delay(0), mac.loginPassword));
}

TEST_F(ScreenLockTest, TheSessionIsLockedOnlyWhenItsFlagSaysSo) {
  for (const auto& [flag, locked] :
       {std::pair<std::optional<bool>, bool>{std::nullopt, false}, {false, false}, {true, true}}) {
    session.locked = flag;
    EXPECT_EQ(screenLock.isSessionLocked(), locked);
  }
}

// The password's copies are wiped, including what lies past the current length.
TEST(SecretTest, WipingClearsTheWholeBufferAndAMoveLeavesNoCopy) {
  std::string secret = "a long login password that outgrows any small-string buffer";
  secret.resize(3);
  const std::size_t capacity = secret.capacity();
  const char* bytes = secret.data();
  wipe(secret);
  EXPECT_TRUE(secret.empty());
  EXPECT_TRUE(std::all_of(bytes, bytes + capacity, [](char c) { return c == 0; }));
  SecretText held("secret");
  SecretText moved(std::move(held));
  EXPECT_EQ(moved.text(), "secret");
  EXPECT_EQ(held.text(), "");
}

}  // namespace
}  // namespace corvel
