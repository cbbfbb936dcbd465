// The settings model: modes, screen-lock states, the two decisions, and mode/enabled over the store.
#include <gtest/gtest.h>

#include "main/app_delegate.h"
#include "tests/support/fakes.h"

namespace corvel {
namespace {

using test::FakePlatform;
using Kind = ScreenLockState::Kind;

TEST(ProtectionModeTest, RawValuesRoundTripAndNothingElseIsAccepted) {
  for (ProtectionMode mode : allProtectionModes) EXPECT_EQ(protectionModeFromRawValue(rawValue(mode)), mode);
  EXPECT_EQ(allProtectionModes[0], ProtectionMode::standard);
  EXPECT_EQ(allProtectionModes[1], ProtectionMode::remoteStrong);
  EXPECT_EQ(displayName(ProtectionMode::standard), "通常モード");
  EXPECT_EQ(displayName(ProtectionMode::remoteStrong), "リモート強制モード");
  for (const char* raw : {"Standard", "remotestrong", "REMOTESTRONG", " standard", "standard ", "", "off"}) {
    EXPECT_FALSE(protectionModeFromRawValue(raw)) << raw;
  }
}

TEST(ScreenLockStateTest, SysadminctlValues) {
  const std::pair<ScreenLockState, const char*> table[] = {
      {ScreenLockState::delay(300), "300"}, {ScreenLockState::delay(0), "0"},
      {ScreenLockState::delay(-5), "0"},    {ScreenLockState::delay(INT64_MAX), "9223372036854775807"},
      {ScreenLockState::off(), "off"},      {ScreenLockState::immediate(), "immediate"},
      {ScreenLockState::unknown(), "immediate"},
  };
  for (const auto& [state, value] : table) EXPECT_EQ(state.sysadminctlValue(), value) << describe(state);
}

TEST(ScreenLockStateTest, EqualityTellsDelaysApartByTheirSecondsOnly) {
  EXPECT_EQ(ScreenLockState::delay(5), ScreenLockState::delay(5));
  EXPECT_NE(ScreenLockState::delay(5), ScreenLockState::delay(6));
  EXPECT_NE(ScreenLockState::delay(0), ScreenLockState::off());
  EXPECT_NE(ScreenLockState::delay(0), ScreenLockState::immediate());
  EXPECT_NE(ScreenLockState::unknown(), ScreenLockState::immediate());
  EXPECT_EQ(ScreenLockState::unknown(), ScreenLockState::unknown());
  EXPECT_NE(ScreenLockState::off(), ScreenLockState::immediate());
}

TEST(ScreenLockStateTest, NormalizedPreviousStateIsNeverOffOrUnknown) {
  EXPECT_EQ(normalizedPreviousLockState(ScreenLockState::delay(300)), ScreenLockState::delay(300));
  EXPECT_EQ(normalizedPreviousLockState(ScreenLockState::delay(-5)), ScreenLockState::delay(-5));
  EXPECT_EQ(normalizedPreviousLockState(ScreenLockState::immediate()), ScreenLockState::immediate());
  EXPECT_EQ(normalizedPreviousLockState(ScreenLockState::off()), ScreenLockState::immediate());
  EXPECT_EQ(normalizedPreviousLockState(ScreenLockState::unknown()), ScreenLockState::immediate());
}

TEST(ScreenLockStateTest, RestoreOnlyWhatCorvelSwitchedOffAndIsStillOff) {
  for (const auto& state : {ScreenLockState::off(), ScreenLockState::immediate(), ScreenLockState::delay(0),
                            ScreenLockState::delay(60), ScreenLockState::unknown()}) {
    EXPECT_FALSE(shouldRestoreScreenLock(false, state)) << describe(state);
    EXPECT_EQ(shouldRestoreScreenLock(true, state), state.kind() == Kind::off) << describe(state);
  }
}

class SettingsOverStoreTest : public ::testing::Test {
 protected:
  FakePlatform fake;
  AppDelegate delegate{fake.platform};
};

TEST_F(SettingsOverStoreTest, AbsentKeysReadAsStandardAndOff) {
  EXPECT_EQ(delegate.mode(), ProtectionMode::standard);
  EXPECT_FALSE(delegate.enabled());
  EXPECT_TRUE(fake.defaults.writes.empty());
}

TEST_F(SettingsOverStoreTest, UnknownModeTextFallsBackWithoutWriteBack) {
  for (const char* stored : {"RemoteStrong", "remote", ""}) {
    fake.defaults.values["ProtectionMode"] = std::string(stored);
    EXPECT_EQ(delegate.mode(), ProtectionMode::standard) << stored;
  }
  fake.defaults.values["ProtectionMode"] = true;  // not text at all
  EXPECT_EQ(delegate.mode(), ProtectionMode::standard);
  EXPECT_TRUE(fake.defaults.writes.empty());
}

TEST_F(SettingsOverStoreTest, EveryAccessGoesToTheStore) {
  delegate.setMode(ProtectionMode::remoteStrong);
  delegate.setEnabled(true);
  EXPECT_EQ(fake.defaults.writes, (std::vector<std::string>{"set ProtectionMode=remoteStrong",
                                                            "set ProtectionEnabled=true"}));
  // A change made behind the delegate's back is seen at once: nothing is cached.
  fake.defaults.values["ProtectionMode"] = std::string("standard");
  fake.defaults.values["ProtectionEnabled"] = false;
  const int readsBefore = fake.defaults.reads;
  EXPECT_EQ(delegate.mode(), ProtectionMode::standard);
  EXPECT_FALSE(delegate.enabled());
  EXPECT_EQ(fake.defaults.reads, readsBefore + 2);
}

}  // namespace
}  // namespace corvel
