// Corvel's vocabulary: modes, screen-lock states and their stored forms, the settings over the store,
// and the command-line switches.
#include <gtest/gtest.h>

#include "main/command_line.h"
#include "main/remote/remote_mode.h"
#include "tests/unit/fakes.h"

namespace corvel {
namespace {

using Lock = ScreenLockState;

TEST(SettingsTest, TheStoreIsReadAndWrittenAtEveryCallAndOnlyExactRawValuesNameAMode) {
  test::FakeStore store;
  Settings settings(store);
  EXPECT_EQ(settings.mode(), ProtectionMode::standard);
  EXPECT_FALSE(settings.enabled());
  settings.setMode(ProtectionMode::remoteStrong);
  settings.setEnabled(true);
  EXPECT_EQ(store.string(keys::protectionMode), "remoteStrong");  // the stored form; must never change
  EXPECT_EQ(settings.mode(), ProtectionMode::remoteStrong);
  store.set(keys::protectionEnabled, false);  // changed behind its back: nothing is cached
  EXPECT_FALSE(settings.enabled());
  const int writes = store.writes;
  for (const char* unknown : {"RemoteStrong", "standard ", ""}) {
    store.values[std::string(keys::protectionMode)] = std::string(unknown);
    EXPECT_EQ(settings.mode(), ProtectionMode::standard) << unknown;
    EXPECT_FALSE(protectionModeFromRawValue(unknown)) << unknown;
  }
  store.values[std::string(keys::protectionMode)] = true;
  EXPECT_EQ(settings.mode(), ProtectionMode::standard);
  EXPECT_EQ(store.writes, writes);  // an unknown value is not written back
}

TEST(ScreenLockStateTest, ValuesForTheToolAndEquality) {
  const std::pair<Lock, const char*> values[] = {
      {Lock::delay(300), "300"}, {Lock::delay(-5), "0"}, {Lock::off(), "off"}, {Lock::unknown(), "immediate"}};
  for (const auto& [state, value] : values) EXPECT_EQ(state.sysadminctlValue(), value) << describe(state);
  EXPECT_NE(Lock::delay(5), Lock::delay(6));
  EXPECT_NE(Lock::delay(0), Lock::immediate());
  EXPECT_NE(Lock::unknown(), Lock::immediate());
}

TEST(ScreenLockStateTest, WhatIsRememberedAndWhenItIsPutBack) {
  EXPECT_EQ(normalizedPreviousLockState(Lock::delay(300)), Lock::delay(300));
  EXPECT_EQ(normalizedPreviousLockState(Lock::off()), Lock::immediate());
  EXPECT_EQ(normalizedPreviousLockState(Lock::unknown()), Lock::immediate());
  for (const Lock& state : {Lock::off(), Lock::immediate(), Lock::delay(60)}) {
    EXPECT_FALSE(shouldRestoreScreenLock(false, state)) << describe(state);
    EXPECT_EQ(shouldRestoreScreenLock(true, state), state == Lock::off()) << describe(state);
  }
  // A restore must never switch the lock off, nor ask for a zero delay the tool reads back as immediate.
  const std::pair<std::optional<std::string>, Lock> decoded[] = {{std::nullopt, Lock::immediate()},
                                                                 {"300", Lock::delay(300)},
                                                                 {"+7", Lock::delay(7)},
                                                                 {"off", Lock::immediate()},
                                                                 {"-5", Lock::immediate()},
                                                                 {"0", Lock::immediate()},
                                                                 {" 30", Lock::immediate()},
                                                                 {"99999999999999999999", Lock::immediate()}};
  for (const auto& [stored, expected] : decoded) {
    EXPECT_EQ(decodePreviousScreenLockState(stored), expected) << stored.value_or("<none>");
  }
}

TEST(CommandLineTest, ArgumentsCountWholeAndSwitchesOnlyAsOne) {
  EXPECT_TRUE(hasArgument({"Corvel", "-x", "--watchdog-launch"}, "--watchdog-launch"));
  EXPECT_FALSE(hasArgument({"Corvel", "--watchdog-launch=1", "--Watchdog-Launch"}, "--watchdog-launch"));
  EXPECT_TRUE(isSwitchOn("1"));
  for (const auto& value :
       {std::optional<std::string>(), std::optional<std::string>("0"), std::optional<std::string>("true")}) {
    EXPECT_FALSE(isSwitchOn(value)) << value.value_or("<unset>");
  }
}

}  // namespace
}  // namespace corvel
