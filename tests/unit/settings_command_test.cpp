// The settings commands over the store: what they print, what they write, and the time limit's
// deadline, as main runs them after the command line.
#include "main/safety/settings_command.h"

#include "main/command_line.h"
#include "tests/unit/fakes.h"

namespace corvel {
namespace {

using Values = std::map<std::string, test::FakeStore::Value, std::less<>>;

struct SettingsCommandTest : ::testing::Test {
  test::FakeStore store;
  test::FakeMac mac;
  SettingsPlatform platform{.defaults = store, .clock = mac};
  SettingsCommandTest() { mac.current = parseIsoTime("2026-12-07T12:00:00Z").value(); }

  // As main runs a command line that was not refused.
  CommandOutput run(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "Corvel");
    const CommandLine line = parseCommandLine(arguments);
    EXPECT_EQ(line.refusal, "");
    return line.action == CommandLine::Action::set      ? setGuardSetting(platform, line.setting, line.asked)
           : line.action == CommandLine::Action::extend ? extendTimeLimit(platform, line.extension)
                                                        : showGuardSettings(platform, line.json);
  }
};

TEST_F(SettingsCommandTest, EachSettingIsShownAsSetTakesItWithWhetherItIsTheDefault) {
  store.values = {{"SafetyBatteryFloor", "20"}, {"SafetyTimeLimitMinutes", "90"}, {"SafetyRepair", "maybe"}};
  EXPECT_EQ(run({"--settings"}).out, "・バッテリー残量の下限：battery-floor 20（既定値は off）\n"
                                     "・時間制限：time-limit 1h30m（既定値は off）\n"
                                     "・高温時の停止：thermal-stop on（既定値）\n"
                                     "・自動修復：repair off（既定値）\n");
  EXPECT_EQ(run({"--settings", "--json"}).out,
            R"({"battery-floor":{"value":"20","default":false},"time-limit":{"value":"1h30m","default":false},)"
            R"("thermal-stop":{"value":"on","default":true},"repair":{"value":"off","default":true}})"
            "\n");
}

TEST_F(SettingsCommandTest, ATimeLimitSetWhileProtectionIsOnRunsFromNowAndOffTakesTheDeadlineAway) {
  const std::string limit = "SafetyTimeLimitMinutes", deadline = "ProtectionDeadline", later = "2026-12-07T13:00:00Z";
  const Values running = {{limit, "60"}, {deadline, later}},
               started = {{limit, "120"}, {deadline, "2026-12-07T14:00:00Z"}};
  // Protection on, what is stored before, the name and value, what is stored after, and what the line
  // printed adds to saying so.
  const std::tuple<bool, Values, std::string, std::string, Values, std::string> rows[] = {
      {true, {}, "time-limit", "2h", started, "（保護の終了予定 2026-12-07T14:00:00Z）"},
      {false, {}, "time-limit", "2h", {{limit, "120"}}, "（保護を次に ON にした時から数えます）"},
      {true, running, "time-limit", "off", {}, ""},
      {false, {{deadline, later}}, "time-limit", "off", {}, ""},
      {true, running, "battery-floor", "20", {{limit, "60"}, {deadline, later}, {"SafetyBatteryFloor", "20"}}, ""},
  };
  for (const auto& [on, before, name, value, after, added] : rows) {
    SCOPED_TRACE(name + " " + value + (on ? " on" : " off"));
    store.values = before;
    store.setBoolean(keys::protectionEnabled, on);
    const CommandOutput output = run({"--set", name, value});
    store.values.erase(std::string(keys::protectionEnabled));
    EXPECT_EQ(store.values, after);
    EXPECT_EQ(output.out, name + " を " + value + " にしました" + added + "\n");
    EXPECT_EQ(output.exitStatus, 0);
  }
}

TEST_F(SettingsCommandTest, ExtendMovesOnlyARunningLimitsDeadlineAndOtherwiseWritesNothing) {
  const std::string deadline = "2026-12-07T14:00:00Z",
                    unrecorded =
                        "Corvel: 保護の終了予定が記録されていません（Corvel --set time-limit で今から数え直せます）";
  // Protection on, a time limit stored, the deadline stored, and the exit status with the line printed.
  const std::tuple<bool, bool, std::string, int, std::string> rows[] = {
      {false, true, deadline, 1, "Corvel: 保護は OFF です。延ばす時間制限はありません"},
      {true, false, deadline, 1, "Corvel: 時間制限は off です（Corvel --set time-limit 4h のように設定できます）"},
      {true, true, "", 1, unrecorded},
      {true, true, "tomorrow", 1, unrecorded},
      {true, true, deadline, 0, "保護の終了予定を 2026-12-07T16:30:00Z に延ばしました"},
  };
  for (const auto& [on, limit, stored, status, line] : rows) {
    SCOPED_TRACE(line);
    store.values = {{std::string(keys::protectionEnabled), on}};
    if (limit) store.setString(keys::timeLimitMinutes, "60");
    if (!stored.empty()) store.setString(keys::deadline, stored);
    Values expected = store.values;
    if (status == 0) expected[std::string(keys::deadline)] = "2026-12-07T16:30:00Z";
    const CommandOutput output = run({"--extend", "2h30m"});
    EXPECT_EQ(output.exitStatus, status);
    EXPECT_EQ(status == 0 ? output.out : output.err, line + "\n");
    EXPECT_EQ(store.values, expected);
  }
  // A change that stayed in this process's memory reaches no running Corvel: never reported as made.
  store.savable = false;
  const std::string unsaved =
      "Corvel: 設定を保存できませんでした。Corvel の設定ファイルに書き込めるか確かめてください\n";
  EXPECT_EQ(run({"--extend", "1h"}).err, unsaved);
  EXPECT_EQ(run({"--set", "repair", "on"}).err, unsaved);
}

}  // namespace
}  // namespace corvel
