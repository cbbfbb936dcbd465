// The safety guard: the stops in their order, what a stop does and leaves, the time limit's deadline,
// and a drift told once and repaired within bounds.
#include "tests/unit/fakes.h"

namespace corvel::test {
namespace {

using std::chrono::minutes;

struct Guarded : Rig {
  explicit Guarded(bool remote = false) {
    if (remote) remoteStrong(), mac.screenLock = "off";
    EXPECT_TRUE(protection.setProtection(true));
  }
  void set(std::string_view key, std::string value) { defaults.set(key, std::move(value)); }
  std::optional<std::string> stored(std::string_view key) { return defaults.string(key); }
  bool refresh() {
    display.refreshStatus();
    return parts.safety.check();
  }
};

TEST(SafetyGuardTest, TheFirstLimitReachedStopsProtectionInTimeBatteryHeatOrder) {
  const std::optional<BatteryReading> low = BatteryReading{20, true}, mains = BatteryReading{5, false};
  // time limit passed, battery reading, floor, thermal state, thermal stop: the reason recorded, if any
  const std::tuple<bool, std::optional<BatteryReading>, std::string, ThermalState, std::string, std::string> table[] = {
      {false, std::nullopt, "", ThermalState::nominal, "", ""},
      {true, low, "20", ThermalState::critical, "", "timeLimit"},
      {false, low, "20", ThermalState::critical, "", "battery"},
      {false, BatteryReading{21, true}, "20", ThermalState::critical, "", "thermal"},
      {false, mains, "20", ThermalState::serious, "", ""},  // on mains power the floor never counts
      {false, low, "", ThermalState::nominal, "", ""},      // nor without a floor
      {false, std::nullopt, "99", ThermalState::critical, "off", ""},
  };
  for (const auto& [late, battery, floor, thermal, thermalStop, reason] : table) {
    Guarded g;
    g.set(keys::timeLimitMinutes, "60");
    EXPECT_FALSE(g.refresh());  // the limit counts from the moment it is seen
    g.mac.sleepFor(minutes(late ? 60 : 59));
    g.mac.batteryReading = battery, g.mac.thermal = thermal;
    if (!floor.empty()) g.set(keys::batteryFloor, floor);
    if (!thermalStop.empty()) g.set(keys::thermalStop, thermalStop);
    g.refresh();
    EXPECT_EQ(g.stored(keys::lastSafetyStopReason).value_or(""), reason) << floor << late;
    EXPECT_EQ(g.settings.enabled() && g.mac.runningChildren() == 1, reason.empty()) << reason;
  }
}

TEST(SafetyGuardTest, AStopSwitchesOffUnaskedTellsWhyAndPutsAClosedMacToSleep) {
  const std::string hot = "Macの温度が危険な状態になりました。",
                    left = "画面ロックはオフのままです。戻すにはメニューの「設定を元に戻して終了…」を選んでください。";
  // remote strong, rule present, lid closed, battery low: what the notice says after its dash
  const std::tuple<bool, bool, bool, bool, std::string> table[] = {
      {false, true, false, true, "バッテリー残量が10%以下になりました（残り7%）。"},
      {false, true, true, false, hot + "蓋が閉じているため、Macをスリープさせます。"},
      {true, true, false, false, hot + left},
      {true, false, true, false, hot + "システムスリープは禁止されたままです。" + left},  // no sleep to put it in
  };
  for (const auto& [remote, rule, lidClosed, low, rest] : table) {
    Guarded g(remote);
    g.mac.ruleInstalled = rule, g.mac.lid = lidClosed, g.mac.thermal = ThermalState::critical;
    if (low) g.mac.batteryReading = BatteryReading{7, true}, g.set(keys::batteryFloor, "10");
    const int prompts = g.desk.prompts;
    g.refresh();
    EXPECT_FALSE(g.settings.enabled() || g.mac.runningChildren());
    EXPECT_EQ(g.mac.sleepDisabled, remote && !rule);  // allowed again only through the rule
    // no alert, no approval, no Touch ID
    EXPECT_TRUE(g.desk.titles.empty() && g.mac.scripts.empty() && g.desk.prompts == prompts);
    EXPECT_EQ(g.desk.notices, Strings{"スリープ防止をOFFにしました — " + rest});
    EXPECT_EQ(g.mac.timeLimits.contains("/usr/bin/pmset sleepnow"), lidClosed && rule);
    EXPECT_EQ(g.stored(keys::lastSafetyStopAt), "1970-01-01T00:00:00Z");
    EXPECT_EQ(g.display.views().toggleItem->title(), "ONに切り替える");
  }
}

TEST(SafetyGuardTest, TheDeadlineRunsFromEachSwitchOnUntilTheSwitchOff) {
  Guarded g;
  g.defaults.setStrings(keys::timeLimitMinutes, "90", keys::lastSafetyStopReason, "battery");
  g.mac.sleepFor(minutes(10));
  EXPECT_TRUE(g.protection.setProtection(false));
  EXPECT_EQ(g.stored(keys::deadline), std::nullopt);
  g.refresh();  // off, but a limit is set: notices are asked for while someone is likely there
  EXPECT_EQ(g.desk.permissionRequests, 1);
  EXPECT_TRUE(g.protection.setProtection(true));
  EXPECT_EQ(g.stored(keys::deadline), "1970-01-01T01:40:00Z");  // switched on at 0:10, for 1h30m
  EXPECT_EQ(g.stored(keys::lastSafetyStopReason), std::nullopt);
  g.set(keys::deadline, "1970-01-01T03:00:00Z");  // extended from the command line
  g.mac.sleepFor(minutes(120));
  g.refresh();
  EXPECT_TRUE(g.settings.enabled());
  g.mac.sleepFor(minutes(50));
  g.refresh();
  EXPECT_EQ(g.stored(keys::lastSafetyStopReason), "timeLimit");
  EXPECT_EQ(g.desk.notices, Strings{"スリープ防止をOFFにしました — 設定した時間（1h30m）が過ぎました。"});
  EXPECT_EQ(g.stored(keys::deadline), std::nullopt);
}

TEST(SafetyGuardTest, ADriftIsToldOnceAndRepairedAtMostEveryHalfMinuteUntilThreeFailures) {
  const std::string told = "スリープ防止が効いていません — caffeinateが終了しました。",
                    again = "メニューからONに切り替え直してください。";
  {
    Guarded g;  // repair off: told, nothing started
    g.mac.children.back()->running = false;
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(g.refresh());
    EXPECT_EQ(g.desk.notices, Strings{told + again});
    EXPECT_EQ(g.mac.children.size(), 1u);
    EXPECT_EQ(g.desk.permissionRequests, 1);  // before the first notice, though no limit was set
  }
  Guarded g;
  g.set(keys::repair, "on");
  g.mac.children.back()->running = false;
  EXPECT_TRUE(g.refresh());
  EXPECT_EQ(g.mac.runningChildren(), 1u);
  EXPECT_EQ(g.stored(keys::repairCount), "1");
  EXPECT_EQ(g.stored(keys::lastRepairAt), "1970-01-01T00:00:00Z");
  g.mac.caffeinateEndsAtOnce = true;
  g.mac.children.back()->running = false;
  g.mac.sleepFor(std::chrono::seconds(29));
  EXPECT_FALSE(g.refresh());  // within the half minute of the last attempt
  for (int i = 0; i < 4; ++i) g.mac.sleepFor(std::chrono::seconds(30)), g.refresh();
  EXPECT_EQ(g.mac.children.size(), 5u);  // the first repair, then three that did not hold, then none
  EXPECT_EQ(g.stored(keys::repairCount), "1");
  EXPECT_EQ(g.desk.notices,
            (Strings{told + "元に戻します。", told + "元に戻します。",
                     "スリープ防止を直せませんでした — 自動での修復に3回続けて失敗したため、やめました。" + again}));
}

TEST(SafetyGuardTest, ASleepSwitchTurnedBackOnInRemoteStrongIsPutBackThroughTheRuleOnly) {
  for (const bool rule : {true, false}) {
    Guarded g(true);
    g.set(keys::repair, "on");
    g.mac.sleepDisabled = false, g.mac.ruleInstalled = rule;
    g.refresh();
    EXPECT_EQ(g.mac.sleepDisabled, rule);
    EXPECT_EQ(g.stored(keys::repairCount).has_value(), rule);
    EXPECT_TRUE(g.mac.scripts.empty() && g.desk.titles.empty());  // no approval asked
  }
}

}  // namespace
}  // namespace corvel::test
