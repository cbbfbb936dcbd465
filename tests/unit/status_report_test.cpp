// The status check over fakes: what it asks the system, the verdict, and the two ways it tells it.
#include "main/status/status_report.h"

#include <functional>
#include <gtest/gtest.h>
#include <map>

namespace corvel {
namespace {

class FakeRunner final : public ProcessRunner {
 public:
  ProcessResult run(const std::string& executable, const std::vector<std::string>& arguments) override {
    std::string call = executable;
    for (const auto& a : arguments) call += " " + a;
    calls.push_back(call);
    return results[executable];
  }
  ProcessResult runWithInput(const std::string&, const std::vector<std::string>&, const std::string&) override {
    calls.push_back("runWithInput");
    return {};
  }
  std::unique_ptr<ChildProcess> launch(const std::string&, const std::vector<std::string>&) override {
    calls.push_back("launch");
    return nullptr;
  }
  std::unique_ptr<ChildProcess> adopt(pid_t pid, const std::string& executable,
                                      const std::vector<std::string>& arguments) override {
    std::string call = "adopt " + std::to_string(pid) + " " + executable;
    for (const auto& a : arguments) call += " " + a;
    calls.push_back(call);
    return pid == livePid ? std::make_unique<Child>(pid) : nullptr;
  }
  struct Child final : ChildProcess {
    explicit Child(pid_t p) : p_(p) {}
    pid_t pid() const override { return p_; }
    bool isRunning() override { return true; }
    void terminate() override { ADD_FAILURE() << "terminated"; }
    pid_t p_;
  };
  std::map<std::string, ProcessResult> results;
  pid_t livePid = 0;
  std::vector<std::string> calls;
};

struct Fakes final : DefaultsReader, Session, AgentServices, AgentProcesses, Workspace {
  std::optional<DefaultsSnapshot> readDefaults(const std::vector<std::string>& keys) override {
    asked = keys;
    return defaults;
  }
  std::optional<bool> screenIsLockedFlag() override { return locked; }
  std::unique_ptr<AgentService> agentServiceWithPlistName(const std::string& name) override {
    struct Agent final : AgentService {
      AgentStatus s;
      explicit Agent(AgentStatus s) : s(s) {}
      AgentStatus status() override { return s; }
      bool registerAgent() override { return ADD_FAILURE(), false; }
      bool unregisterAgent() override { return ADD_FAILURE(), false; }
    };
    plist = name;
    return std::make_unique<Agent>(agent);
  }
  std::optional<bool> isAgentRunning(const std::string&) override { return agentRunning; }
  bool isApplicationRunning(const std::string& id) override { return running = id == "app.corvel.Corvel"; }
  std::optional<std::string> applicationLocation(const std::string&) override { return ADD_FAILURE(), std::nullopt; }
  void openApplication(const std::string&, const std::vector<std::string>&, bool) override { ADD_FAILURE(); }

  std::optional<DefaultsSnapshot> defaults = DefaultsSnapshot{};
  std::vector<std::string> asked;
  std::optional<bool> locked = false, agentRunning = true;
  AgentStatus agent = AgentStatus::enabled;
  std::string plist;
  bool running = false;
};

const ToolPaths Tools{"/c/caffeinate", "/c/sudo", "/c/pmset", "/c/sysadminctl"};

struct Check {
  FakeRunner runner;
  Fakes fakes;
  std::optional<std::string> missing;
  StatusReadings read() {
    StatusPlatform platform{runner, fakes, fakes, fakes, fakes, fakes, Tools, missing};
    return StatusReport(platform).read();
  }
};

TEST(StatusReportTest, ReadsEachItemWithOnlyTheThreeToolsAndAnAdoptionThatChangesNothing) {
  Check check;
  check.fakes.defaults = DefaultsSnapshot{{"ProtectionMode", {"remoteStrong", false}},
                                          {"ProtectionEnabled", {std::nullopt, true}},
                                          {"DidDisableScreenLock", {std::nullopt, true}},
                                          {"PreviousScreenLockState", {"300", true}},
                                          {"CaffeinateProcessIdentifier", {"4242", true}}};
  check.runner.livePid = 4242;
  check.runner.results = {{"/c/pmset", {0, "System-wide power settings:\n SleepDisabled\t\t1\n"}},
                          {"/c/sysadminctl", {0, "2026 sysadminctl[1:2] screenLock is off\n"}},
                          {"/c/sudo", {0, "/usr/bin/pmset -a disablesleep 1\n"}}};
  check.fakes.locked = true;
  const StatusReadings r = check.read();
  EXPECT_EQ(check.runner.calls, (std::vector<std::string>{"adopt 4242 /c/caffeinate -d -i -m -s", "/c/pmset -g",
                                                          "/c/sysadminctl -screenLock status",
                                                          "/c/sudo -n -l /usr/bin/pmset -a disablesleep 1"}));
  EXPECT_EQ(check.fakes.asked, (std::vector<std::string>{"ProtectionMode", "ProtectionEnabled", "DidDisableScreenLock",
                                                         "PreviousScreenLockState", "CaffeinateProcessIdentifier"}));
  EXPECT_EQ(check.fakes.plist, "app.corvel.Corvel.watchdog.plist");
  EXPECT_EQ(r.mode, ProtectionMode::remoteStrong);
  EXPECT_EQ(r.enabled, true);
  EXPECT_EQ(r.caffeinatePid, 4242);
  EXPECT_EQ(r.corvelRunning, true);
  EXPECT_EQ(r.sleepDisabled, true);
  EXPECT_EQ(r.screenLock, ScreenLockState::off());
  EXPECT_EQ(r.previousScreenLock, "300");
  EXPECT_TRUE(r.screenLockDisabledByCorvel);
  EXPECT_EQ(r.sessionLocked, true);
  EXPECT_TRUE(r.limitedPermission);
  EXPECT_EQ(r.watchdog, AgentStatus::enabled);
  EXPECT_EQ(r.watchdogRunning, true);
  EXPECT_EQ(assessStatus(r).verdict, Verdict::protected_);
}

TEST(StatusReportTest, WhatCannotBeReadStaysUnknown) {
  const struct {
    const char* name;
    std::optional<DefaultsSnapshot> defaults;
    ProcessResult pmset, sudo;
    std::optional<ProtectionMode> mode;
    std::optional<bool> sleepDisabled;
    bool adopts;
  } rows[] = {
      {"unreadable defaults", std::nullopt, {0, " SleepDisabled 0\n"}, {1, ""}, std::nullopt, false, false},
      {"never written", DefaultsSnapshot{}, {-1, ""}, {-1, ""}, ProtectionMode::standard, std::nullopt, false},
      {"odd mode, pid not a number", DefaultsSnapshot{{"ProtectionMode", {"Remotestrong"}},
                                                      {"CaffeinateProcessIdentifier", {"42x"}}},
       {1, "SleepDisabled 1"}, {0, ""}, ProtectionMode::standard, std::nullopt, false},
      {"pid 0", DefaultsSnapshot{{"CaffeinateProcessIdentifier", {"0"}}}, {0, ""}, {0, ""}, ProtectionMode::standard,
       std::nullopt, false},
      {"pid no longer caffeinate", DefaultsSnapshot{{"CaffeinateProcessIdentifier", {"77"}}}, {0, "x"}, {0, ""},
       ProtectionMode::standard, false, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Check check;
    check.fakes.defaults = row.defaults;
    check.fakes.locked = check.fakes.agentRunning = std::nullopt;
    check.runner.results = {{"/c/pmset", row.pmset}, {"/c/sudo", row.sudo}};
    const StatusReadings r = check.read();
    EXPECT_EQ(r.mode, row.mode);
    EXPECT_EQ(r.enabled.has_value(), row.defaults.has_value());
    EXPECT_EQ(r.sleepDisabled, row.sleepDisabled);
    EXPECT_EQ(r.limitedPermission, row.sudo.exitCode == 0);
    EXPECT_EQ(r.screenLock, ScreenLockState::unknown());
    EXPECT_EQ(r.caffeinatePid, std::nullopt);
    EXPECT_EQ(check.runner.calls.front().starts_with("adopt 77 "), row.adopts);
    EXPECT_EQ(r.sessionLocked, std::nullopt);
    EXPECT_EQ(r.watchdogRunning, std::nullopt);
  }
}

TEST(StatusReportTest, AMissingSystemIsNotAskedAnything) {
  Check check;
  check.missing = "/nowhere";
  const StatusReadings r = check.read();
  EXPECT_TRUE(check.runner.calls.empty());
  EXPECT_TRUE(check.fakes.asked.empty() && check.fakes.plist.empty() && !check.fakes.running);
  EXPECT_EQ(r.missingSystemFolder, "/nowhere");
  const StatusAssessment a = assessStatus(r);
  EXPECT_EQ(a.verdict, Verdict::off);
  EXPECT_EQ(a.failing, std::vector<ReportItem>{ReportItem::system});
}

// A reading that holds everything the remote strong mode needs, switched on.
StatusReadings remoteOn() {
  StatusReadings r;
  r.mode = ProtectionMode::remoteStrong;
  r.enabled = r.corvelRunning = r.sleepDisabled = true;
  r.caffeinatePid = 99;
  r.screenLock = ScreenLockState::off();
  r.previousScreenLock = "immediate";
  r.screenLockDisabledByCorvel = r.limitedPermission = true;
  return r;
}

TEST(StatusReportTest, Verdicts) {
  using I = ReportItem;
  using R = StatusReadings;
  const struct {
    const char* name;
    std::function<void(R&)> change;
    Verdict verdict;
    std::vector<I> failing;
  } rows[] = {
      {"remote strong, all holds", [](R&) {}, Verdict::protected_, {}},
      {"session locked and no watchdog do not matter",
       [](R& r) { r.sessionLocked = true, r.watchdog = AgentStatus::requiresApproval, r.watchdogRunning = false; },
       Verdict::protected_, {}},
      {"standard needs only Corvel and caffeinate",
       [](R& r) { r.mode = ProtectionMode::standard, r.sleepDisabled = false, r.screenLock = ScreenLockState::immediate(),
                  r.limitedPermission = false; },
       Verdict::protected_, {}},
      {"standard, Corvel not running and caffeinate gone",
       [](R& r) { r.mode = ProtectionMode::standard, r.corvelRunning = false, r.caffeinatePid.reset(); },
       Verdict::degraded, {I::corvel, I::caffeinate}},
      {"Corvel running unknown", [](R& r) { r.corvelRunning.reset(); }, Verdict::degraded, {I::corvel}},
      {"remote strong, sleep reset", [](R& r) { r.sleepDisabled = false; }, Verdict::degraded, {I::sleepSwitch}},
      {"remote strong, sleep unreadable", [](R& r) { r.sleepDisabled.reset(); }, Verdict::degraded, {I::sleepSwitch}},
      {"remote strong, lock back on, no permission",
       [](R& r) { r.screenLock = ScreenLockState::delay(5), r.limitedPermission = false; }, Verdict::degraded,
       {I::screenLock, I::permission}},
      {"remote strong, lock unreadable", [](R& r) { r.screenLock = ScreenLockState::unknown(); }, Verdict::degraded,
       {I::screenLock}},
      {"defaults unreadable", [](R& r) { r.mode.reset(), r.enabled.reset(); }, Verdict::degraded, {I::settings}},
      {"off after a full restore",
       [](R& r) { r = R{}, r.mode = ProtectionMode::remoteStrong, r.enabled = r.sleepDisabled = false,
                  r.screenLock = ScreenLockState::delay(300); },
       Verdict::off, {}},
      {"off, lock off by the user's own choice",
       [](R& r) { r.enabled = r.sleepDisabled = false, r.previousScreenLock.reset(), r.screenLockDisabledByCorvel = false; },
       Verdict::off, {}},
      {"off, lock left off with a previous setting",
       [](R& r) { r.enabled = r.sleepDisabled = false, r.screenLockDisabledByCorvel = false; }, Verdict::degraded,
       {I::screenLock}},
      {"off, lock unreadable, Corvel's flag only",
       [](R& r) { r.enabled = r.sleepDisabled = false, r.previousScreenLock.reset(), r.screenLock = ScreenLockState::unknown(); },
       Verdict::degraded, {I::screenLock}},
      {"off, lock put back", [](R& r) { r.enabled = r.sleepDisabled = false, r.screenLock = ScreenLockState::immediate(); },
       Verdict::off, {}},
      {"off, sleep still disabled", [](R& r) { r.enabled = false, r.screenLock = ScreenLockState::immediate(); },
       Verdict::degraded, {I::sleepSwitch}},
      {"off, sleep unreadable",
       [](R& r) { r.enabled = false, r.sleepDisabled.reset(), r.screenLock = ScreenLockState::immediate(); },
       Verdict::degraded, {I::sleepSwitch}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    StatusReadings r = remoteOn();
    row.change(r);
    const StatusAssessment a = assessStatus(r);
    EXPECT_EQ(a.verdict, row.verdict);
    EXPECT_EQ(a.failing, row.failing);
  }
  EXPECT_EQ(exitStatus(Verdict::protected_), 0);
  EXPECT_EQ(exitStatus(Verdict::degraded), 1);
  EXPECT_EQ(exitStatus(Verdict::off), 2);
}

TEST(StatusReportTest, JsonLine) {
  StatusReadings r = remoteOn();
  r.watchdog = AgentStatus::requiresApproval;
  EXPECT_EQ(statusJson(r, assessStatus(r)),
            R"({"verdict":"protected","mode":"remoteStrong","enabled":true,"corvelRunning":true,"caffeinatePid":99,)"
            R"("sleepDisabled":true,"screenLock":"off","previousScreenLock":"immediate",)"
            R"("screenLockDisabledByCorvel":true,"sessionLocked":null,"limitedPermission":true,)"
            R"("watchdog":"requiresApproval","problems":[]})");
  // Every failing item gives a sentence; stored text of any kind stays valid JSON.
  r.enabled = false, r.screenLock = ScreenLockState::delay(300), r.caffeinatePid.reset();
  r.previousScreenLock = std::string("a\"b\\c\n\x01\xff\xc3\xa9", 10);
  r.sessionLocked = false;
  EXPECT_EQ(statusJson(r, assessStatus(r)),
            R"({"verdict":"degraded","mode":"remoteStrong","enabled":false,"corvelRunning":true,"caffeinatePid":null,)"
            R"("sleepDisabled":true,"screenLock":"300","previousScreenLock":"a\"b\\c\u000a\u0001\ufffdé",)"
            R"("screenLockDisabledByCorvel":true,"sessionLocked":false,"limitedPermission":true,)"
            R"("watchdog":"requiresApproval","problems":["System sleep is still disabled although protection is off."]})");
  const std::pair<std::function<void(StatusReadings&)>, std::string> problems[] = {
      {[](StatusReadings& s) { s = {}, s.missingSystemFolder = "/x"; },
       "The Mac's folder /x does not exist; nothing was read."},
      {[](StatusReadings& s) { s.enabled.reset(); }, "Corvel's settings cannot be read; they were left as they are."},
      {[](StatusReadings& s) { s.corvelRunning = false; }, "Corvel is not running."},
      {[](StatusReadings& s) { s.corvelRunning.reset(); }, "Whether Corvel is running cannot be told."},
      {[](StatusReadings& s) { s.caffeinatePid.reset(); }, "caffeinate is not holding the Mac awake."},
      {[](StatusReadings& s) { s.sleepDisabled = false; }, "System sleep is not disabled."},
      {[](StatusReadings& s) { s.sleepDisabled.reset(); }, "The system sleep switch cannot be read."},
      {[](StatusReadings& s) { s.screenLock = ScreenLockState::immediate(); }, "The screen lock is not off."},
      {[](StatusReadings& s) { s.screenLock = ScreenLockState::unknown(); }, "The screen-lock setting cannot be read."},
      {[](StatusReadings& s) { s.enabled = s.sleepDisabled = false; },
       "The screen lock is still off although protection is off."},
      {[](StatusReadings& s) { s.limitedPermission = false; }, "The limited sudo permission does not work."},
  };
  for (const auto& [change, sentence] : problems) {
    StatusReadings s = remoteOn();
    change(s);
    const std::string json = statusJson(s, assessStatus(s));
    EXPECT_TRUE(json.ends_with(R"(,"problems":[")" + sentence + "\"]}")) << json;
  }
}

TEST(StatusReportTest, TextPutsTheVerdictAndFailingItemsFirstEachWithWhatToDo) {
  StatusReadings r = remoteOn();
  r.sleepDisabled = false;
  r.limitedPermission = false;
  r.previousScreenLock = "\x1b[2J" + std::string(50, 'x');
  r.sessionLocked = true;
  r.watchdog = AgentStatus::enabled;
  r.watchdogRunning = false;
  EXPECT_EQ(statusText(r, assessStatus(r)),
            "判定：要確認 — 保護が欠けているか、Macの設定が変わったままです\n"
            "✗ システムスリープ：許可 → Corvel でいったん OFF にしてから ON に戻してください（Touch ID が要ります）\n"
            "✗ sudo の限定権限：ありません → Corvel で通常モードに戻してからリモート強制モードを選び直してください（規則を入れ直します）\n"
            "・設定：リモート強制モード・ON\n"
            "・Corvel：起動中\n"
            "・caffeinate：Mac を起こし続けています（pid 99）\n"
            "・画面ロック設定：オフ（Corvel の記録：元の設定「�[2J" + std::string(36, 'x') + "…」）\n"
            "・画面：ロック中\n"
            "・ウォッチドッグ：有効（CorvelWatchdog は動いていません）\n");
  const std::pair<std::function<void(StatusReadings&)>, std::string> lines[] = {
      {[](StatusReadings& s) { s = {}, s.missingSystemFolder = "/x"; },
       "判定：OFF — 保護はOFFで、変わったままの設定はありません\n"
       "✗ Mac：フォルダ「/x」がありません（何も読まず、何も作っていません） → 場所が正しいか確かめてください\n"},
      {[](StatusReadings& s) { s.mode.reset(), s.enabled.reset(); },
       "✗ 設定：読めません（ファイルはそのままにしてあります） → 設定ファイルを直すか取り除いてから Corvel を開いてください\n"},
      {[](StatusReadings& s) { s.corvelRunning = false, s.watchdog = AgentStatus::enabled; },
       "✗ Corvel：起動していません → ウォッチドッグが数秒のうちに起動し直します。戻らなければ Corvel を開いてください\n"},
      {[](StatusReadings& s) { s.corvelRunning = false; }, "✗ Corvel：起動していません → Corvel を開いてください\n"},
      {[](StatusReadings& s) { s.corvelRunning.reset(); },
       "✗ Corvel：起動しているか分かりません → Mac の画面のセッションで確かめてください\n"},
      {[](StatusReadings& s) { s.caffeinatePid.reset(); },
       "✗ caffeinate：動いていません → Corvel でいったん OFF にしてから ON に戻してください\n"},
      {[](StatusReadings& s) { s.sleepDisabled.reset(); }, "✗ システムスリープ：読めません → pmset -g が答えるか確かめてください\n"},
      {[](StatusReadings& s) { s.enabled = false, s.screenLock = ScreenLockState::immediate(); },
       "判定：要確認 — 保護が欠けているか、Macの設定が変わったままです\n✗ システムスリープ：禁止中 → Corvel "
       "の「設定を元に戻して終了…」で元に戻してください（または sudo pmset -a disablesleep 0）\n"},
      {[](StatusReadings& s) { s.screenLock = ScreenLockState::delay(60), s.previousScreenLock.reset(); },
       "✗ 画面ロック設定：60秒後に要求（Corvel の記録：元の設定なし） → Corvel "
       "で通常モードに戻してからリモート強制モードを選び直してください\n"},
      {[](StatusReadings& s) { s.screenLock = ScreenLockState::unknown(); },
       "✗ 画面ロック設定：読めません（Corvel の記録：元の設定「immediate」） → sysadminctl -screenLock status "
       "が答えるか確かめてください\n"},
      {[](StatusReadings& s) { s.enabled = s.sleepDisabled = false; },
       "✗ 画面ロック設定：オフ（Corvel の記録：元の設定「immediate」） → Corvel の「設定を元に戻して終了…」で元に戻してください\n"},
      {[](StatusReadings& s) { s.enabled = s.sleepDisabled = false, s.previousScreenLock.reset(), s.screenLockDisabledByCorvel = false; },
       "判定：OFF — 保護はOFFで、変わったままの設定はありません\n・設定：リモート強制モード・OFF\n"},
      {[](StatusReadings&) {}, "判定：保護中 — このMacはスリープしません\n"},
      {[](StatusReadings&) {}, "・画面：分かりません（このセッションからは読めません）\n"},
      {[](StatusReadings& s) { s.sessionLocked = false, s.limitedPermission = true; },
       "・画面：ロックされていません\n・sudo の限定権限：有効\n・ウォッチドッグ：分かりません\n"},
      {[](StatusReadings& s) { s.watchdog = AgentStatus::enabled, s.watchdogRunning = true; }, "・ウォッチドッグ：有効・動作中\n"},
      {[](StatusReadings& s) { s.watchdog = AgentStatus::enabled; }, "・ウォッチドッグ：有効\n"},
      {[](StatusReadings& s) { s.watchdog = AgentStatus::requiresApproval; },
       "・ウォッチドッグ：承認待ち → システム設定 › 一般 › ログイン項目で Corvel のバックグラウンド実行を許可してください\n"},
      {[](StatusReadings& s) { s.watchdog = AgentStatus::notRegistered; },
       "・ウォッチドッグ：登録されていません（Corvel を開くと登録します）\n"},
      {[](StatusReadings& s) { s.watchdog = AgentStatus::notFound; },
       "・ウォッチドッグ：見つかりません（Corvel.app を入れ直してください）\n"},
  };
  for (const auto& [change, expected] : lines) {
    StatusReadings s = remoteOn();
    s.sessionLocked.reset();
    change(s);
    const std::string text = statusText(s, assessStatus(s));
    EXPECT_NE(text.find(expected), std::string::npos) << text;
  }
}

}  // namespace
}  // namespace corvel
