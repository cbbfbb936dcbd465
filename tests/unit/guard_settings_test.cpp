// The safety guard's settings and records: as typed, as stored, and what a stored text that does not
// read comes to.
#include "main/safety/guard_settings.h"

#include "tests/unit/fakes.h"

namespace corvel {
namespace {

using std::chrono::minutes;
using GS = GuardSetting;

TEST(GuardSettingsTest, DurationsReadInOneGrammarAndAreWrittenShortest) {
  // The text, its minutes and how they are written back.
  const std::tuple<const char*, int, const char*> rows[] = {{"30m", 30, "30m"},         {"4h", 240, "4h"},
                                                            {"90m", 90, "1h30m"},       {"2d", 2880, "2d"},
                                                            {"1d2h3m", 1563, "1d2h3m"}, {"0m", 0, "0m"}};
  for (const auto& [text, count, written] : rows) {
    EXPECT_EQ(parseDuration(text), minutes(count)) << text;
    EXPECT_EQ(formatDuration(minutes(count)), written);
  }
  for (const char* text : {"", "30", "h", "1m1h", "1h1h", "1H", "+1h", "1.5h", "1h ", "99999999999d"})
    EXPECT_EQ(parseDuration(text), std::nullopt) << text;
}

TEST(GuardSettingsTest, EachValueAsTypedIsCheckedStoredAsTextOrNotAtAllAndReadBack) {
  // The setting, the value typed, the stored text ("-": no key, "x": refused) and the value shown back.
  const std::tuple<GS, std::string, std::string, std::string> rows[] = {
      {GS::batteryFloor, "1", "1", "1"},        {GS::batteryFloor, "99", "99", "99"},
      {GS::batteryFloor, "off", "-", "off"},    {GS::batteryFloor, "0", "x", ""},
      {GS::batteryFloor, "100", "x", ""},       {GS::timeLimit, "1m", "1", "1m"},
      {GS::timeLimit, "10080m", "10080", "7d"}, {GS::timeLimit, "1h30m", "90", "1h30m"},
      {GS::timeLimit, "off", "-", "off"},       {GS::timeLimit, "0m", "x", ""},
      {GS::timeLimit, "7d1m", "x", ""},         {GS::timeLimit, "9d", "x", ""},
      {GS::thermalStop, "off", "off", "off"},   {GS::thermalStop, "on", "-", "on"},
      {GS::repair, "on", "on", "on"},           {GS::repair, "maybe", "x", ""}};
  for (const auto& [setting, typed, stored, shown] : rows) {
    SCOPED_TRACE(std::string(settingName(setting)) + " " + typed);
    EXPECT_EQ(guardSettingNamed(settingName(setting)), setting);
    const auto asked = withTypedValue(GuardSettings{}, setting, typed);
    ASSERT_EQ(asked.has_value(), stored != "x");
    if (!asked) continue;
    test::FakeStore store;  // every setting's key holding what reads as its default
    store.setStrings(keys::batteryFloor, "?", keys::timeLimitMinutes, "?", keys::thermalStop, "?", keys::repair, "?");
    writeGuardSetting(store, *asked, setting);
    EXPECT_EQ(std::erase_if(store.values, [](const auto& kept) { return kept.second == test::FakeStore::Value("?"); }),
              3u);
    EXPECT_EQ(store.values.empty() ? "-" : std::get<std::string>(store.values.begin()->second), stored);
    EXPECT_EQ(readGuardSettings(textOf(store)), *asked);
    EXPECT_EQ(typedValue(*asked, setting), shown);
  }
}

TEST(GuardSettingsTest, StoredTextsThatDoNotReadAreTheDefaultsAndSoundOnesRead) {
  // Each key with a text that reads, and with one that does not.
  test::FakeStore sound, unsound;
  sound.setStrings(keys::batteryFloor, "20", keys::timeLimitMinutes, "240", keys::thermalStop, "off", keys::repair,
                   "on", keys::deadline, "2026-12-07T14:00:00Z", keys::lastSafetyStopReason, "thermal",
                   keys::lastSafetyStopAt, "2028-02-29T23:59:59Z", keys::repairCount, "3", keys::lastRepairAt,
                   "1970-01-01T00:00:00Z");
  unsound.setStrings(keys::batteryFloor, "0", keys::timeLimitMinutes, "10081", keys::thermalStop, "OFF", keys::repair,
                     "true", keys::deadline, "2026-02-29T00:00:00Z", keys::lastSafetyStopReason, "battery",
                     keys::lastSafetyStopAt, "2028-02-29T23:59:59", keys::repairCount, "-1", keys::lastRepairAt,
                     "tomorrow");
  const auto t = [](std::string_view text) { return parseIsoTime(text).value(); };
  EXPECT_EQ(readGuardSettings(textOf(sound)), (GuardSettings{20, minutes(240), false, true}));
  EXPECT_EQ(readDeadline(textOf(sound)), t("2026-12-07T14:00:00Z"));
  EXPECT_EQ(readLastSafetyStop(textOf(sound)), (SafetyStop{StopReason::thermal, t("2028-02-29T23:59:59Z")}));
  EXPECT_EQ(readRepairs(textOf(sound)), (Repairs{3, TimePoint{}}));
  EXPECT_EQ(readGuardSettings(textOf(unsound)), GuardSettings{});
  EXPECT_EQ(readDeadline(textOf(unsound)), std::nullopt);
  EXPECT_EQ(readLastSafetyStop(textOf(unsound)), std::nullopt);
  EXPECT_EQ(readRepairs(textOf(unsound)), Repairs{});
  EXPECT_EQ(stopReasonFromRawValue("Battery"), std::nullopt);
}

TEST(GuardSettingsTest, TimesAreWrittenToTheSecondInUtcAndOnlyThatFormReads) {
  for (const char* text : {"1970-01-01T00:00:00Z", "2026-12-07T14:05:09Z", "2028-02-29T23:59:59Z"})
    EXPECT_EQ(isoTime(parseIsoTime(text).value()), text);
  EXPECT_EQ(isoTime(TimePoint{} + std::chrono::days(1) - std::chrono::milliseconds(1)), "1970-01-01T23:59:59Z");
  for (const char* text : {"2026-02-29T00:00:00Z", "2026-13-01T00:00:00Z", "2026-12-07T24:00:00Z",
                           "2026-12-07T14:00:60Z", "2026-12-07 14:00:00Z", "2026-12-07T14:00:00",
                           "2026-12-07T14:00:00+09:00", "2026-12-7T14:00:00Z", "２026-12-07T14:00:00Z"})
    EXPECT_EQ(parseIsoTime(text), std::nullopt) << text;
}

}  // namespace
}  // namespace corvel
