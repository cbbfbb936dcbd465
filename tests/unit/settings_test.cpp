// Corvel's vocabulary: modes, screen-lock states and their stored forms, the settings over the store,
// and the command-line switches.
#include <gtest/gtest.h>

#include "main/command_line.h"
#include "main/remote/remote_mode.h"
#include "tests/unit/fakes.h"

namespace corvel {
namespace {

using Lock = ScreenLockState;

TEST(ProtectionModeTest, OnlyTheExactRawValuesNameAMode) {
  for (ProtectionMode mode : allProtectionModes) EXPECT_EQ(protectionModeFromRawValue(rawValue(mode)), mode);
  EXPECT_EQ(rawValue(ProtectionMode::remoteStrong), "remoteStrong");  // the stored form; must never change
  for (const char* raw : {"Standard", "remotestrong", " standard", "standard ", ""}) {
    EXPECT_FALSE(protectionModeFromRawValue(raw)) << raw;
  }
}

TEST(SettingsTest, ReadsAndWritesTheStoreAtEveryCall) {
  test::FakeStore store;
  Settings settings(store);
  EXPECT_EQ(settings.mode(), ProtectionMode::standard);
  EXPECT_FALSE(settings.enabled());
  settings.setMode(ProtectionMode::remoteStrong);
  settings.setEnabled(true);
  EXPECT_EQ(store.string(keys::protectionMode), "remoteStrong");
  EXPECT_TRUE(store.boolean(keys::protectionEnabled));
  // Changed behind its back: seen at once, nothing is cached.
  store.values[std::string(keys::protectionEnabled)] = false;
  EXPECT_FALSE(settings.enabled());
  store.writes.clear();
  store.values[std::string(keys::protectionMode)] = std::string("RemoteStrong");
  EXPECT_EQ(settings.mode(), ProtectionMode::standard);
  store.values[std::string(keys::protectionMode)] = true;  // not text at all
  EXPECT_EQ(settings.mode(), ProtectionMode::standard);
  EXPECT_TRUE(store.writes.empty());  // an unknown text is not written back
}

TEST(ScreenLockStateTest, SysadminctlValuesAndEquality) {
  const std::pair<Lock, const char*> values[] = {{Lock::delay(300), "300"}, {Lock::delay(-5), "0"},
                                                 {Lock::off(), "off"},      {Lock::immediate(), "immediate"},
                                                 {Lock::unknown(), "immediate"}};
  for (const auto& [state, value] : values) EXPECT_EQ(state.sysadminctlValue(), value) << describe(state);
  EXPECT_NE(Lock::delay(5), Lock::delay(6));
  EXPECT_NE(Lock::delay(0), Lock::immediate());
  EXPECT_NE(Lock::delay(0), Lock::off());
  EXPECT_NE(Lock::unknown(), Lock::immediate());
}

TEST(ScreenLockStateTest, WhatIsRememberedAndWhenItIsPutBack) {
  EXPECT_EQ(normalizedPreviousLockState(Lock::delay(300)), Lock::delay(300));
  EXPECT_EQ(normalizedPreviousLockState(Lock::off()), Lock::immediate());
  EXPECT_EQ(normalizedPreviousLockState(Lock::unknown()), Lock::immediate());
  for (const Lock& state : {Lock::off(), Lock::immediate(), Lock::delay(60), Lock::unknown()}) {
    EXPECT_FALSE(shouldRestoreScreenLock(false, state)) << describe(state);
    EXPECT_EQ(shouldRestoreScreenLock(true, state), state == Lock::off()) << describe(state);
  }
}

TEST(ScreenLockStateTest, DecodingTheRememberedStateNeverGivesOffOrAZeroDelay) {
  const std::pair<std::optional<std::string>, Lock> table[] = {
      {std::nullopt, Lock::immediate()}, {"300", Lock::delay(300)},   {"+7", Lock::delay(7)},
      {"off", Lock::immediate()},        {"-5", Lock::immediate()},   {"0", Lock::immediate()},
      {"", Lock::immediate()},           {" 30", Lock::immediate()},  {"99999999999999999999", Lock::immediate()},
  };
  for (const auto& [stored, expected] : table) {
    EXPECT_EQ(decodePreviousScreenLockState(stored), expected) << stored.value_or("<none>");
  }
}

TEST(CommandLineTest, ArgumentsCountWholeAndSwitchesOnlyAsOne) {
  const std::vector<std::string> arguments{"Corvel", "-x", "--watchdog-launch"};
  EXPECT_TRUE(hasArgument(arguments, "--watchdog-launch"));
  EXPECT_FALSE(hasArgument(arguments, "--watchdog"));
  EXPECT_FALSE(hasArgument({"Corvel", "--Watchdog-Launch"}, "--watchdog-launch"));
  EXPECT_TRUE(isSwitchOn("1"));
  for (const auto& value : {std::optional<std::string>(), std::optional<std::string>("0"),
                            std::optional<std::string>("true"), std::optional<std::string>("")}) {
    EXPECT_FALSE(isSwitchOn(value)) << value.value_or("<unset>");
  }
}

}  // namespace
}  // namespace corvel
