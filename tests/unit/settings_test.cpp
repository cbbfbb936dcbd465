// Corvel's vocabulary: modes, screen-lock states and their stored forms, and the settings over the store;
// reading and changing the screen-lock setting, and wiping the password.
#include "tests/unit/fakes.h"

namespace corvel::test {
namespace {

using Lock = ScreenLockState;

TEST(SettingsTest, TheStoreIsReadAndWrittenAtEveryCallAndOnlyExactRawValuesNameAMode) {
  FakeStore store;
  Settings settings(store);
  settings.setMode(ProtectionMode::remoteStrong);
  settings.setEnabled(true);
  EXPECT_EQ(store.string(keys::protectionMode), "remoteStrong");  // the stored form; must never change
  EXPECT_EQ(settings.mode(), ProtectionMode::remoteStrong);
  store.set(keys::protectionEnabled, false);  // changed behind its back: nothing is cached
  EXPECT_FALSE(settings.enabled());
  // An unknown value reads as standard and is not written back.
  for (const char* unknown : {"RemoteStrong", "standard ", ""}) {
    store.set(keys::protectionMode, std::string(unknown));
    EXPECT_EQ(settings.mode(), ProtectionMode::standard) << unknown;
    EXPECT_EQ(store.string(keys::protectionMode), unknown);
  }
}

TEST(ScreenLockStateTest, ValuesForTheToolEqualityWhatIsRememberedAndWhenItIsPutBack) {
  const std::pair<Lock, const char*> values[] = {
      {Lock::delay(300), "300"}, {Lock::delay(-5), "0"}, {Lock::off(), "off"}, {Lock::unknown(), "immediate"}};
  for (const auto& [state, value] : values) EXPECT_EQ(state.sysadminctlValue(), value) << describe(state);
  EXPECT_NE(Lock::delay(5), Lock::delay(6));
  EXPECT_NE(Lock::delay(0), Lock::immediate());
  EXPECT_NE(Lock::unknown(), Lock::immediate());
  // What is remembered, and when it is put back.
  for (const Lock& state : {Lock::off(), Lock::immediate(), Lock::delay(60), Lock::unknown()}) {
    EXPECT_EQ(normalizedPreviousLockState(state), state == Lock::delay(60) ? state : Lock::immediate());
    EXPECT_FALSE(shouldRestoreScreenLock(false, state)) << describe(state);
    EXPECT_EQ(shouldRestoreScreenLock(true, state), state == Lock::off()) << describe(state);
  }
  // A restore must never switch the lock off, nor ask for a delay the tool refuses or reads back as
  // immediate (zero).
  EXPECT_EQ(decodePreviousScreenLockState("+7"), Lock::delay(7));
  EXPECT_EQ(decodePreviousScreenLockState("2147483647"), Lock::delay(2147483647));
  EXPECT_EQ(decodePreviousScreenLockState(std::nullopt), Lock::immediate());
  for (const char* stored : {"off", "-5", "0", " 30", "2147483648", "99999999999999999999"})
    EXPECT_EQ(decodePreviousScreenLockState(stored), Lock::immediate()) << stored;
}

TEST(ParseScreenLockStateTest, ReadsTheFirstPhraseOrNumberAnywhereInTheTextAndUnknownOtherwise) {
  const std::pair<std::string, Lock> cases[] = {
      {"2026-12-06 10:00:00.123 sysadminctl[612:8312] screenLock delay is 300 seconds\n", Lock::delay(300)},
      {"screenLock delay is IMMEDIATE", Lock::immediate()},
      {"Screenlock is OFF", Lock::off()},
      {"screenlock delay is off", Lock::off()},
      {"screenlock is immediate", Lock::immediate()},
      {"screenlock is 5", Lock::delay(5)},
      {"screenlock delay is 0 seconds", Lock::immediate()},
      {"screenlock is 9223372036854775807", Lock::delay(INT64_MAX)},  // read after " is ", not " delay is "
      {"SCREENLOC\u212A IS OFF", Lock::off()},                        // the Kelvin sign lowers to "k"
      {"screenlock delay is 60 screenlock delay is immediate", Lock::immediate()},
      {"screenlock is immediate screenlock is off", Lock::off()},
      {"screenlock is 10 then screenlock delay is 20", Lock::delay(10)},
      {"screenlock is never; screenlock delay is 5", Lock::delay(5)},
      {"screenLock delay is -1 seconds", Lock::unknown()},
      {"screenlock delay is 9223372036854775808", Lock::unknown()},
      // The first match is refused whole rather than skipped for a later ASCII number.
      {"screenlock is \u0661 screenlock delay is 20", Lock::unknown()},
      {"screenlock \u0130s off", Lock::unknown()},
      {"screenlock is \xffoff", Lock::unknown()},
  };
  for (const auto& [text, expected] : cases)
    EXPECT_EQ(parseScreenLockState(text), expected) << text << ": got " << describe(parseScreenLockState(text));
}

// The fake Mac takes the password on standard input only.
TEST(ScreenLockTest, ChangesWithThePasswordAndReadsBack) {
  Rig rig;
  rig.mac.loginPassword = "p a's\"s\\w";
  EXPECT_TRUE(rig.screenLock.applyScreenLockState(Lock::delay(300), rig.mac.loginPassword));
  EXPECT_FALSE(rig.screenLock.applyScreenLockState(Lock::off(), "wrong"));
  // Neither can be confirmed: unknown is sent as "immediate", a zero delay reads back as immediate.
  EXPECT_FALSE(rig.screenLock.applyScreenLockState(Lock::unknown(), rig.mac.loginPassword));
  EXPECT_FALSE(rig.screenLock.applyScreenLockState(Lock::delay(0), rig.mac.loginPassword));
  for (const auto& [flag, locked] :
       {std::pair<std::optional<bool>, bool>{std::nullopt, false}, {false, false}, {true, true}}) {
    rig.mac.sessionLocked = flag;
    EXPECT_EQ(rig.screenLock.isSessionLocked(), locked);
  }
}

// The password's copies are wiped, including what lies past the current length.
TEST(SecretTest, WipingClearsTheWholeBufferAndAMoveLeavesNoCopy) {
  std::string secret = "a long login password that outgrows any small-string buffer";
  secret.resize(3);
  const std::string_view buffer(secret.data(), secret.capacity());
  wipe(secret);
  EXPECT_TRUE(secret.empty() && std::all_of(buffer.begin(), buffer.end(), [](char c) { return c == 0; }));
  SecretText held("secret");
  SecretText moved(std::move(held));
  EXPECT_EQ(std::tuple(moved.text(), held.text()), std::tuple("secret", ""));
}

}  // namespace
}  // namespace corvel::test
