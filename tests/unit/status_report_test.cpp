// The status check: what it reads from the Mac, the verdict, and the two ways it tells it.
#include "tests/unit/fakes.h"

namespace corvel::test {
namespace {

using R = StatusReadings;

std::string json(const R& r) { return statusJson(r, assessStatus(r)); }
std::string text(const R& r) { return statusText(r, assessStatus(r)); }

TEST(StatusReportTest, ReadsEachItemAsCorvelTakesItAndChangesNothing) {
  Rig rig;
  rig.remoteStrong();
  rig.settings.setEnabled(true);
  rig.defaults.set(keys::didDisableScreenLock, true);
  rig.caffeinate.startCaffeinateIfNeeded();
  rig.mac.screenLock = "off", rig.launch.agentStatus = AgentStatus::requiresApproval;
  rig.mac.sessionLocked = rig.launch.agentRunning = rig.mac.sleepDisabled = rig.launch.corvelRunning = true;
  // A stop recorded while protection is on is no problem: switching on clears it.
  rig.defaults.setStrings(keys::previousScreenLockState, "300", keys::batteryFloor, "20", keys::timeLimitMinutes, "90",
                          keys::thermalStop, "off", keys::repair, "on", keys::deadline, "2026-12-07T15:30:00Z",
                          keys::lastSafetyStopReason, "thermal", keys::lastSafetyStopAt, "2026-12-06T09:00:00Z",
                          keys::repairCount, "3", keys::lastRepairAt, "2026-12-07T14:10:05Z");
  rig.mac.batteryReading = {{85, true}}, rig.mac.thermal = ThermalState::serious;
  const R r = readStatus(rig.statusPlatform);
  EXPECT_EQ(json(r),
            R"({"verdict":"protected","mode":"remoteStrong","enabled":true,"corvelRunning":true,"caffeinatePid":1001,)"
            R"("sleepDisabled":true,"screenLock":"off","previousScreenLock":"300","screenLockDisabledByCorvel":true,)"
            R"("sessionLocked":true,"limitedPermission":true,"watchdog":"requiresApproval","problems":[],)"
            R"("settings":{"batteryFloor":20,"timeLimitMinutes":90,"thermalStop":false,"repair":true},)"
            R"("deadline":"2026-12-07T15:30:00Z","battery":{"percent":85,"source":"battery"},"thermal":"serious",)"
            R"("lastSafetyStop":{"reason":"thermal","at":"2026-12-06T09:00:00Z"},)"
            R"("repairs":{"count":3,"last":"2026-12-07T14:10:05Z"}})");
  EXPECT_EQ(r.watchdogRunning, true);
  EXPECT_EQ(rig.mac.timeLimits.at("/usr/bin/pmset -g"), std::chrono::seconds(5));
  EXPECT_EQ(rig.mac.runningChildren(), 1u);
}

TEST(StatusReportTest, WhatCannotBeReadStaysUnknownAndAMissingSystemIsNotAsked) {
  Rig unreadable;
  unreadable.defaults.readable = false;
  unreadable.mac.answers["/usr/bin/pmset -g"] = {1, "SleepDisabled 1"};
  unreadable.mac.answers["/usr/sbin/sysadminctl -screenLock status"] = {0, "screenLock is what?"};
  unreadable.mac.thermal.reset();
  EXPECT_EQ(
      json(readStatus(unreadable.statusPlatform)),
      R"({"verdict":"degraded","mode":null,"enabled":null,"corvelRunning":false,"caffeinatePid":null,)"
      R"("sleepDisabled":null,"screenLock":"unknown","previousScreenLock":null,"screenLockDisabledByCorvel":false,)"
      R"("sessionLocked":null,"limitedPermission":false,"watchdog":"notRegistered","problems":[)"
      R"("Corvel's settings cannot be read; they were left as they are."],"settings":null,"deadline":null,)"
      R"("battery":null,"thermal":null,"lastSafetyStop":null,"repairs":null})");
  // A recorded child that has ended, and a rule that works and is only listed: the sleep switch stays.
  // A deadline runs only under a time limit.
  Rig odd;
  odd.settings.setEnabled(true);
  odd.defaults.setStrings(keys::timeLimitMinutes, "0", keys::deadline, "2026-12-07T15:30:00Z");
  odd.caffeinate.startCaffeinateIfNeeded();
  odd.mac.children[0]->running = false;
  odd.mac.ruleInstalled = true;
  const std::string oddJson = json(readStatus(odd.statusPlatform));
  for (const char* part : {R"("caffeinatePid":null,"sleepDisabled":false,)", R"("limitedPermission":true,)",
                           R"("timeLimitMinutes":null,)", R"("deadline":null,)"})
    EXPECT_NE(oddJson.find(part), std::string::npos) << oddJson;
  EXPECT_FALSE(odd.mac.sleepDisabled);
  Rig missing;
  missing.statusPlatform.missingSystemFolder = "/nowhere";
  missing.mac.onRun = [](const std::string& line) { ADD_FAILURE() << line; };
  const R nothing = readStatus(missing.statusPlatform);
  EXPECT_EQ(nothing.missingSystemFolder, "/nowhere");
  EXPECT_FALSE(nothing.corvelRunning || nothing.watchdog || nothing.enabled);
}

// Everything the remote strong mode needs, switched on, then as a row changes it.
// Switched off, with the sleep switch back as it was.
void switchedOff(R& r) { r.enabled = r.sleepDisabled = false; }
R remoteOn(const std::function<void(R&)>& change = [](R&) {}) {
  R r;
  r.mode = ProtectionMode::remoteStrong, r.caffeinatePid = 99, r.previousScreenLock = "immediate";
  r.enabled = r.corvelRunning = r.sleepDisabled = r.screenLockDisabledByCorvel = r.limitedPermission = true;
  r.screenLock = ScreenLockState::off();
  change(r);
  return r;
}

TEST(StatusReportTest, Verdicts) {
  using I = ReportItem;
  constexpr auto on = Verdict::protected_, degraded = Verdict::degraded, off = Verdict::off;
  const auto immediate = ScreenLockState::immediate(), unknown = ScreenLockState::unknown();
  const SafetyStop stop{StopReason::battery, TimePoint{}};
  const std::tuple<Verdict, std::vector<I>, std::function<void(R&)>> rows[] = {
      {on, {}, [](R&) {}},
      {on, {}, [&](R& r) { r.mode = ProtectionMode::standard, r.sleepDisabled.reset(), r.screenLock = unknown; }},
      {degraded,
       {I::corvel, I::caffeinate},
       [](R& r) { r.corvelRunning = false, r.caffeinatePid.reset(), r.guard.emplace().repair = true; }},
      {degraded, {I::screenLock, I::permission}, [&](R& r) { r.screenLock = immediate, r.limitedPermission = false; }},
      {degraded, {I::settings}, [](R& r) { r.mode.reset(), r.enabled.reset(); }},
      {off, {}, [&](R& r) { r = R{}, switchedOff(r), r.screenLock = unknown; }},
      // A safety stop is told, but a Mac it left as switching off does is still off.
      {off, {I::safetyStop}, [&](R& r) { switchedOff(r), r.screenLock = immediate, r.lastSafetyStop = stop; }},
      {degraded,
       {I::safetyStop, I::screenLock},
       [&](R& r) { r.enabled = r.sleepDisabled = r.screenLockDisabledByCorvel = false, r.lastSafetyStop = stop; }},
      {degraded, {I::screenLock}, [&](R& r) { switchedOff(r), r.previousScreenLock.reset(), r.screenLock = unknown; }},
      {degraded, {I::sleepSwitch}, [&](R& r) { r.enabled = false, r.screenLock = immediate; }},
      {off, {I::system}, [](R& r) { r = R{}, r.missingSystemFolder = "/x"; }},
  };
  for (const auto& [verdict, failing, change] : rows) {
    const StatusAssessment a = assessStatus(remoteOn(change));
    EXPECT_EQ(std::tuple(a.verdict, a.failing), std::tuple(verdict, failing));
  }
  EXPECT_EQ(std::vector({exitStatus(on), exitStatus(degraded), exitStatus(off)}), std::vector({0, 1, 2}));
}

TEST(StatusReportTest, StoredTextIsDefusedForTheTerminal) {
  R r = remoteOn();
  r.previousScreenLock = "\x1b[2J\u202e" + std::string(50, 'x');
  EXPECT_NE(text(r).find("元の設定「�[2J�" + std::string(35, 'x') + "…」）\n"), std::string::npos);
  // Failing items first, each with what to do; then the others.
  r.previousScreenLock = "immediate", r.enabled = false, r.screenLock = ScreenLockState::delay(60);
  EXPECT_EQ(text(r),
            "判定：要確認 — 保護が欠けているか、Macの設定が変わったままです\n"
            "✗ システムスリープ：禁止中 → Corvel の「設定を元に戻して終了…」で元に戻してください"
            "（または sudo pmset -a disablesleep 0）\n"
            "・設定：リモート強制モード・OFF\n・Corvel：起動中\n・caffeinate：Mac を起こし続けています（pid 99）\n"
            "・画面ロック設定：60秒後に要求（Corvel の記録：元の設定「immediate」）\n"
            "・画面：分かりません（このセッションからは読めません）\n"
            "・sudo の限定権限：有効（規則は Corvel の「設定を元に戻して終了…」で取り除かれます）\n"
            "・ウォッチドッグ：分かりません\n");
}

// The states that change the words: parts of the JSON line's problems and of the text; where a state's
// problems are the whole list, no other item fails.
TEST(StatusReportTest, EachStateIsToldApart) {
  const std::pair<std::function<void(R&)>, std::vector<std::string>> rows[] = {
      {[](R& r) { r = R{}, r.missingSystemFolder = "/x"; }, {"folder /x does not", "OFF — 保護はOFF", "「/x」が"}},
      {[](R& r) { r.corvelRunning = false, r.watchdog = AgentStatus::enabled; },
       {"Corvel is not", "→ ウォッチドッグが"}},
      {[](R& r) { r.corvelRunning.reset(); },
       {R"(":["Whether Corvel is running cannot be told."],)", "分かりません → Mac の画面"}},
      {[](R& r) { r.sleepDisabled = false; }, {"is not disabled", "許可 → Corvel でいったん OFF にしてから ON に"}},
      {[](R& r) { r.sleepDisabled.reset(); },
       {R"(":["The system sleep switch cannot be read."],)", "読めません → pmset"}},
      {[](R& r) { r.screenLock = ScreenLockState::immediate(), r.previousScreenLock.reset(); },
       {"lock is not off", "（Corvel の記録：元の設定なし） → Corvel で通常モード"}},
      {[](R& r) { r.screenLock = ScreenLockState::unknown(); },
       {R"(":["The screen-lock setting cannot be read."],)", "読めません（Corvel の記録"}},
      {[](R& r) { switchedOff(r); }, {"lock is still off", "「immediate」） → Corvel の「"}},
      {[](R& r) { r.screenLockDisabledByCorvel = false, r.previousScreenLock.reset(), r.sessionLocked = true; },
       {"problems\":[]", "判定：保護中 — このMacはスリープしません\n・設定：リモート強制モード・ON",
        "オフ\n・画面：ロック中"}},
      {[](R& r) { r.deadline = TimePoint{}; },
       {"ON\n・時間制限：1970-01-01T00:00:00Z に保護を OFF にします\n・Corvel："}},
      {[](R& r) {
         switchedOff(r), r.lastSafetyStop = {StopReason::timeLimit, {}};
       },
       {"[\"The safety guard switched protection off at 1970-01-01T00:00:00Z: the time limit was reached.\",",
        "要確認 — 保護が欠けているか、Macの設定が変わったままです\n✗ 安全停止：1970-01-01T00:00:00Z、時間制限に"
        "達したため保護を OFF にしました（モードと安全停止の設定はそのまま、画面ロックもオフのままです） → Corvel "
        "で ON にすると、時間制限を最初から数えて保護を再開します（Touch ID が要ります）\n✗ 画面ロック設定"}},
      {[](R& r) {
         r.enabled = r.screenLockDisabledByCorvel = false, r.previousScreenLock.reset();
         r.lastSafetyStop = {StopReason::thermal, {}};
       },
       {"ran critically hot.\"",
        "、Mac が高温になったため保護を OFF にしました（モードと安全停止の設定はそのままです） → Mac が冷えてから"}},
      {[](R& r) { r.sessionLocked = false, r.watchdog = AgentStatus::enabled, r.watchdogRunning = true; },
       {"ロックされていません", "：有効・動作中"}},
      {[](R& r) { r.watchdog = AgentStatus::enabled, r.watchdogRunning = false; }, {"：有効（CorvelWatchdog は"}},
      {[](R& r) { r.watchdog = AgentStatus::enabled; }, {"：有効\n"}},
      {[](R& r) { r.watchdog = AgentStatus::requiresApproval; }, {"：承認待ち → "}},
      {[](R& r) { r.watchdog = AgentStatus::notRegistered; },
       {"：Corvel は起動中ですが登録されていません → システム設定 › 一般 › ログイン項目"}},
      {[](R& r) { r.watchdog = AgentStatus::notRegistered, r.corvelRunning = false; },
       {"：登録されていません（Corvel を開くと登録します）"}},
      {[](R& r) { r.watchdog = AgentStatus::notFound; }, {"：見つかりません"}},
      // Off with nothing else left: the rule is no finding, but it is there and is said to be.
      {[](R& r) { r.enabled = r.sleepDisabled = r.screenLockDisabledByCorvel = false, r.previousScreenLock.reset(); },
       {"\"verdict\":\"off\"", "判定：OFF — 保護はOFFです（sudo の限定権限の規則は残っています）\n",
        "有効（規則は Corvel の「設定を元に戻して終了…」で取り除かれます）"}},
      {[](R& r) {
         r = R{}, r.mode = ProtectionMode::standard, switchedOff(r);
         r.lastSafetyStop = {StopReason::battery, {}};
       },
       {"判定：OFF — 保護はOFFで、変わったままの設定はありません\n✗ 安全停止：1970-01-01T00:00:00Z、バッテリー残量が"
        "下限まで減ったため保護を OFF にしました（モードと安全停止の設定はそのままです） → 電源をつないでから "
        "Corvel で ON にすると保護を再開します\n・設定：通常モード・OFF\n",
        "battery fell to its floor.\"]", "・sudo の限定権限：ありません\n"}},
  };
  for (const auto& [change, parts] : rows) {
    const R r = remoteOn(change);
    for (const auto& part : parts) EXPECT_NE((json(r) + text(r)).find(part), std::string::npos) << part;
  }
}

}  // namespace
}  // namespace corvel::test
