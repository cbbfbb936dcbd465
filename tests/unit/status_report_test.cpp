// The status check over fakes: what it asks the system, the verdict, and the two ways it tells it.
#include "main/status/status_report.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

namespace corvel {
namespace {

std::string joined(std::string text, const std::vector<std::string>& words) {
  for (const auto& w : words) text += " " + w;
  return text;
}

class FakeRunner final : public ProcessRunner {
 public:
  ProcessResult run(const std::string& tool, const std::vector<std::string>& arguments) override {
    calls.push_back(joined(tool, arguments));
    return results[tool];
  }
  ProcessResult runWithInput(const std::string&, const std::vector<std::string>&, const std::string&) override {
    return ADD_FAILURE(), ProcessResult{};
  }
  std::unique_ptr<ChildProcess> launch(const std::string&, const std::vector<std::string>&) override {
    return ADD_FAILURE(), nullptr;
  }
  std::unique_ptr<ChildProcess> adopt(const ProcessIdentity& identity, const std::string& tool,
                                      const std::vector<std::string>& arguments) override {
    const pid_t pid = identity.pid;
    calls.push_back(joined("adopt " + std::to_string(pid) + " " + tool, arguments));
    struct Child final : ChildProcess {
      pid_t pid() const override { return 0; }
      std::optional<ProcessIdentity> identity() const override { return std::nullopt; }
      bool isRunning() override { return true; }
      void terminate() override { ADD_FAILURE(); }
    };
    return pid == livePid ? std::make_unique<Child>() : nullptr;
  }
  std::map<std::string, ProcessResult> results;
  pid_t livePid = 0;
  std::vector<std::string> calls;
};

struct Fakes final : DefaultsReader, Session, AgentServices, AgentProcesses, Workspace {
  std::optional<DefaultsSnapshot> readDefaults(const std::vector<std::string>& keys) override {
    return asked = keys, defaults;
  }
  std::optional<bool> screenIsLockedFlag() override { return locked; }
  std::unique_ptr<AgentService> agentServiceWithPlistName(const std::string& name) override {
    plist = name;
    struct Status final : AgentService {
      AgentStatus status() override { return AgentStatus::requiresApproval; }
      bool registerAgent() override { return ADD_FAILURE(), false; }
      bool unregisterAgent() override { return ADD_FAILURE(), false; }
    };
    return std::make_unique<Status>();
  }
  std::optional<bool> isAgentRunning(const std::string&) override { return agentRunning; }
  bool isApplicationRunning(const std::string& id) override { return asked.push_back(id), true; }
  std::optional<std::string> applicationLocation(const std::string&) override { return ADD_FAILURE(), std::nullopt; }
  void openApplication(const std::string&, const std::vector<std::string>&, bool) override { ADD_FAILURE(); }

  std::optional<DefaultsSnapshot> defaults = DefaultsSnapshot{};
  std::vector<std::string> asked;
  std::optional<bool> locked, agentRunning;
  std::string plist;
};

struct Check {
  FakeRunner runner;
  Fakes fakes;
  std::optional<std::string> missing;
  StatusReadings read() {
    StatusPlatform platform{
        runner, fakes, fakes, fakes, fakes, fakes, {"/caffeinate", "/sudo", "/pmset", "/sysadminctl"}, missing};
    return StatusReport(platform).read();
  }
};

TEST(StatusReportTest, ReadsEachItemWithTheThreeReadingToolsAndAnAdoptionThatChangesNothing) {
  Check check;
  check.fakes.defaults =
      DefaultsSnapshot{{"ProtectionMode", {"remoteStrong"}},      {"ProtectionEnabled", {"", true}},
                       {"DidDisableScreenLock", {{}, true}},      {"PreviousScreenLockState", {"300"}},
                       {"CaffeinateProcessIdentifier", {"4242"}}, {"CaffeinateProcessIdentity", {"17 501"}}};
  check.fakes.locked = check.fakes.agentRunning = true;
  check.runner.livePid = 4242;
  check.runner.results = {{"/pmset", {0, "System-wide power settings:\n SleepDisabled\t\t1\n"}},
                          {"/sysadminctl", {0, "2026 sysadminctl[1:2] screenLock is off\n"}},
                          {"/sudo", {0, ""}}};
  const StatusReadings r = check.read();
  EXPECT_EQ(check.runner.calls, (std::vector<std::string>{"adopt 4242 /caffeinate -d -i -m -s", "/pmset -g",
                                                          "/sysadminctl -screenLock status",
                                                          "/sudo -n -l /usr/bin/pmset -a disablesleep 1"}));
  EXPECT_EQ(check.fakes.asked, (std::vector<std::string>{"ProtectionMode", "ProtectionEnabled", "DidDisableScreenLock",
                                                         "PreviousScreenLockState", "CaffeinateProcessIdentifier",
                                                         "CaffeinateProcessIdentity", "app.corvel.Corvel"}));
  EXPECT_EQ(check.fakes.plist, "app.corvel.Corvel.watchdog.plist");
  EXPECT_EQ(statusJson(r, assessStatus(r)),
            R"({"verdict":"protected","mode":"remoteStrong","enabled":true,"corvelRunning":true,"caffeinatePid":4242,)"
            R"("sleepDisabled":true,"screenLock":"off","previousScreenLock":"300","screenLockDisabledByCorvel":true,)"
            R"("sessionLocked":true,"limitedPermission":true,"watchdog":"requiresApproval","problems":[]})");
  EXPECT_EQ(r.watchdogRunning, true);
}

TEST(StatusReportTest, WhatCannotBeReadStaysUnknownAndAMissingSystemIsNotAsked) {
  const struct {
    std::optional<DefaultsSnapshot> defaults;
    ProcessResult pmset, sudo;
    std::string expected;  // part of the JSON line
  } rows[] = {
      {std::nullopt,
       {0, " SleepDisabled 0"},
       {1, ""},
       R"("mode":null,"enabled":null,"corvelRunning":true,"caffeinatePid":null,"sleepDisabled":false,)"
       R"("screenLock":"unknown","previousScreenLock":null,"screenLockDisabledByCorvel":false,"sessionLocked":null,)"
       R"("limitedPermission":false)"},
      {DefaultsSnapshot{{"ProtectionMode", {"Remotestrong"}}, {"CaffeinateProcessIdentifier", {"42x"}}},
       {1, "SleepDisabled 1"},
       {0, ""},
       R"("mode":"standard","enabled":false,"corvelRunning":true,"caffeinatePid":null,"sleepDisabled":null,)"},
      {DefaultsSnapshot{{"CaffeinateProcessIdentifier", {"0"}}}, {0, ""}, {-1, ""}, R"("sleepDisabled":null,)"},
      {DefaultsSnapshot{{"CaffeinateProcessIdentifier", {"77"}}, {"CaffeinateProcessIdentity", {"5 501"}}},
       {-1, ""},
       {-1, ""},
       R"("limitedPermission":false,)"},
  };
  for (const auto& row : rows) {
    Check check;
    check.fakes.defaults = row.defaults;
    check.runner.results = {{"/pmset", row.pmset}, {"/sudo", row.sudo}};
    const StatusReadings r = check.read();
    EXPECT_NE(statusJson(r, assessStatus(r)).find(row.expected), std::string::npos) << statusJson(r, assessStatus(r));
    EXPECT_EQ(check.runner.calls.front().starts_with("adopt 77 "), &row == &rows[3]);
  }
  Check missing;
  missing.missing = "/nowhere";
  const StatusReadings r = missing.read();
  EXPECT_TRUE(missing.runner.calls.empty() && missing.fakes.asked.empty() && missing.fakes.plist.empty());
  EXPECT_EQ(r.missingSystemFolder, "/nowhere");
}

using R = StatusReadings;

// Everything the remote strong mode needs, switched on.
R remoteOn() {
  R r;
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
  const auto immediate = ScreenLockState::immediate(), unknown = ScreenLockState::unknown();
  const struct {
    std::function<void(R&)> change;
    Verdict verdict;
    std::vector<I> failing;
  } rows[] = {
      {[](R&) {}, Verdict::protected_, {}},
      {[](R& r) { r.sessionLocked = true, r.watchdog = AgentStatus::notFound, r.watchdogRunning = false; },
       Verdict::protected_,
       {}},
      {[&](R& r) { r.mode = ProtectionMode::standard, r.sleepDisabled.reset(), r.screenLock = unknown; },
       Verdict::protected_,
       {}},
      {[](R& r) { r.mode = ProtectionMode::standard, r.corvelRunning = false, r.caffeinatePid.reset(); },
       Verdict::degraded,
       {I::corvel, I::caffeinate}},
      {[](R& r) { r.corvelRunning.reset(); }, Verdict::degraded, {I::corvel}},
      {[](R& r) { r.sleepDisabled = false; }, Verdict::degraded, {I::sleepSwitch}},
      {[](R& r) { r.sleepDisabled.reset(); }, Verdict::degraded, {I::sleepSwitch}},
      {[](R& r) { r.screenLock = ScreenLockState::delay(5), r.limitedPermission = false; },
       Verdict::degraded,
       {I::screenLock, I::permission}},
      {[&](R& r) { r.screenLock = unknown; }, Verdict::degraded, {I::screenLock}},
      {[](R& r) { r.mode.reset(), r.enabled.reset(); }, Verdict::degraded, {I::settings}},
      {[&](R& r) { r = R{}, r.enabled = r.sleepDisabled = false, r.screenLock = unknown; }, Verdict::off, {}},
      {[](R& r) { r.enabled = r.sleepDisabled = r.screenLockDisabledByCorvel = false, r.previousScreenLock.reset(); },
       Verdict::off,
       {}},
      {[&](R& r) { r.enabled = r.sleepDisabled = false, r.screenLock = immediate; }, Verdict::off, {}},
      {[](R& r) { r.enabled = r.sleepDisabled = r.screenLockDisabledByCorvel = false; },
       Verdict::degraded,
       {I::screenLock}},
      {[&](R& r) { r.enabled = r.sleepDisabled = false, r.previousScreenLock.reset(), r.screenLock = unknown; },
       Verdict::degraded,
       {I::screenLock}},
      {[&](R& r) { r.enabled = false, r.screenLock = immediate; }, Verdict::degraded, {I::sleepSwitch}},
      {[&](R& r) { r.enabled = false, r.sleepDisabled.reset(), r.screenLock = immediate; },
       Verdict::degraded,
       {I::sleepSwitch}},
      {[](R& r) { r = R{}, r.missingSystemFolder = "/x"; }, Verdict::off, {I::system}},
  };
  for (const auto& row : rows) {
    R r = remoteOn();
    row.change(r);
    const StatusAssessment a = assessStatus(r);
    EXPECT_EQ(a.verdict, row.verdict) << &row - rows;
    EXPECT_EQ(a.failing, row.failing) << &row - rows;
  }
  EXPECT_EQ(
      std::vector<int>({exitStatus(Verdict::protected_), exitStatus(Verdict::degraded), exitStatus(Verdict::off)}),
      std::vector<int>({0, 1, 2}));
}

TEST(StatusReportTest, StoredTextIsEscapedForJsonAndDefusedForTheTerminal) {
  R r = remoteOn();
  r.previousScreenLock = std::string("a\"b\\c\n\x1f\xff\xc3\xa9", 10);
  EXPECT_NE(statusJson(r, assessStatus(r)).find(R"("previousScreenLock":"a\"b\\c\u000a\u001f\ufffdé",)"),
            std::string::npos);
  r.previousScreenLock = "\x1b[2J\u202e" + std::string(50, 'x');
  EXPECT_NE(statusText(r, assessStatus(r)).find("元の設定「�[2J�" + std::string(35, 'x') + "…」）\n"),
            std::string::npos);
}

// Each failing item: its English problem, and its Japanese line with what to do; then the other lines.
TEST(StatusReportTest, ProblemsAndLinesFailingFirst) {
  const auto unknown = ScreenLockState::unknown();
  const std::string degraded = "判定：要確認 — 保護が欠けているか、Macの設定が変わったままです\n";
  const struct {
    std::function<void(R&)> change;
    std::string problem, text;  // the whole text when it starts with 判定, else a part of it
  } rows[] = {
      {[](R& r) { r = R{}, r.missingSystemFolder = "/x"; }, "The Mac's folder /x does not exist; nothing was read.",
       "判定：OFF — 保護はOFFで、変わったままの設定はありません\n✗ "
       "Mac：フォルダ「/x」がありません（何も読まず、何も作っていません） → 場所が正しいか確かめてください\n"},
      {[](R& r) { r.enabled.reset(); }, "Corvel's settings cannot be read; they were left as they are.",
       "✗ 設定：読めません（ファイルはそのままにしてあります） → 設定ファイルを直すか取り除いてから Corvel "
       "を開いてください\n・Corvel：起動中\n"},
      {[](R& r) { r.corvelRunning = false, r.watchdog = AgentStatus::enabled; }, "Corvel is not running.",
       "✗ Corvel：起動していません → ウォッチドッグが数秒のうちに起動し直します。戻らなければ Corvel "
       "を開いてください\n"},
      {[](R& r) { r.corvelRunning = false; }, "Corvel is not running.",
       "✗ Corvel：起動していません → Corvel を開いてください\n"},
      {[](R& r) { r.corvelRunning.reset(); }, "Whether Corvel is running cannot be told.",
       "✗ Corvel：起動しているか分かりません → Mac の画面のセッションで確かめてください\n"},
      {[](R& r) { r.caffeinatePid.reset(); }, "caffeinate is not holding the Mac awake.",
       "✗ caffeinate：動いていません → Corvel でいったん OFF にしてから ON に戻してください\n"},
      {[](R& r) { r.sleepDisabled = false; }, "System sleep is not disabled.",
       "✗ システムスリープ：許可 → Corvel でいったん OFF にしてから ON に戻してください（Touch ID が要ります）\n"},
      {[](R& r) { r.sleepDisabled.reset(); }, "The system sleep switch cannot be read.",
       "✗ システムスリープ：読めません → pmset -g が答えるか確かめてください\n"},
      {[](R& r) { r.enabled = false, r.screenLock = ScreenLockState::delay(60); },
       "System sleep is still disabled although protection is off.",
       degraded +
           "✗ システムスリープ：禁止中 → Corvel の「設定を元に戻して終了…」で元に戻してください"
           "（または sudo pmset -a disablesleep 0）\n"
           "・設定：リモート強制モード・OFF\n・Corvel：起動中\n・caffeinate：Mac を起こし続けています（pid 99）\n"
           "・画面ロック設定：60秒後に要求（Corvel の記録：元の設定「immediate」）\n"
           "・画面：分かりません（このセッションからは読めません）\n・sudo "
           "の限定権限：有効\n・ウォッチドッグ：分かりません\n"},
      {[](R& r) { r.screenLock = ScreenLockState::immediate(), r.previousScreenLock.reset(); },
       "The screen lock is not off.",
       "✗ 画面ロック設定：すぐに要求（Corvel の記録：元の設定なし） → Corvel "
       "で通常モードに戻してからリモート強制モードを選び直してください\n"},
      {[&](R& r) { r.screenLock = unknown; }, "The screen-lock setting cannot be read.",
       "✗ 画面ロック設定：読めません（Corvel の記録：元の設定「immediate」） → sysadminctl -screenLock status "
       "が答えるか確かめてください\n"},
      {[](R& r) { r.enabled = r.sleepDisabled = false; }, "The screen lock is still off although protection is off.",
       "✗ 画面ロック設定：オフ（Corvel の記録：元の設定「immediate」） → Corvel "
       "の「設定を元に戻して終了…」で元に戻してください\n"
       "・設定：リモート強制モード・OFF\n・Corvel：起動中\n・caffeinate：Mac を起こし続けています（pid "
       "99）\n・システムスリープ：許可\n"},
      {[](R& r) { r.limitedPermission = false, r.sessionLocked = false; }, "The limited sudo permission does not work.",
       "✗ sudo の限定権限：ありません → Corvel "
       "で通常モードに戻してからリモート強制モードを選び直してください（規則を入れ直します）\n"},
      {[](R& r) { r.sessionLocked = true; }, "",
       "判定：保護中 — このMacはスリープしません\n・設定：リモート強制モード・ON\n・Corvel：起動中\n"
       "・caffeinate：Mac を起こし続けています（pid 99）\n・システムスリープ：禁止中\n"
       "・画面ロック設定：オフ（Corvel の記録：元の設定「immediate」）\n・画面：ロック中\n・sudo の限定権限：有効\n"
       "・ウォッチドッグ：分かりません\n"},
      {[](R& r) { r.screenLockDisabledByCorvel = false, r.previousScreenLock.reset(), r.sessionLocked = true; }, "",
       "・画面ロック設定：オフ\n・画面：ロック中\n"},
      {[](R& r) { r.sessionLocked = false, r.watchdog = AgentStatus::enabled, r.watchdogRunning = true; }, "",
       "・画面：ロックされていません\n・sudo の限定権限：有効\n・ウォッチドッグ：有効・動作中\n"},
      {[](R& r) { r.watchdog = AgentStatus::enabled, r.watchdogRunning = false; }, "",
       "・ウォッチドッグ：有効（CorvelWatchdog は動いていません）\n"},
      {[](R& r) { r.watchdog = AgentStatus::enabled; }, "", "・ウォッチドッグ：有効\n"},
      {[](R& r) { r.watchdog = AgentStatus::requiresApproval; }, "",
       "・ウォッチドッグ：承認待ち → システム設定 › 一般 › ログイン項目で Corvel "
       "のバックグラウンド実行を許可してください\n"},
      {[](R& r) { r.watchdog = AgentStatus::notRegistered; }, "",
       "・ウォッチドッグ：登録されていません（Corvel を開くと登録します）\n"},
      {[](R& r) { r.watchdog = AgentStatus::notFound; }, "",
       "・ウォッチドッグ：見つかりません（Corvel.app を入れ直してください）\n"},
  };
  for (const auto& row : rows) {
    R r = remoteOn();
    row.change(r);
    const StatusAssessment a = assessStatus(r);
    const std::string json = statusJson(r, a), text = statusText(r, a);
    EXPECT_TRUE(json.ends_with(row.problem.empty() ? R"("problems":[]})" : R"("problems":[")" + row.problem + "\"]}"))
        << json;
    EXPECT_TRUE(row.text.starts_with("判定") ? text == row.text : text.find(row.text) != std::string::npos) << text;
  }
}

}  // namespace
}  // namespace corvel
