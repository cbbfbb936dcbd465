// Reading how the Mac really stands, judging it, and telling it to a person or a script.
#include "status_report.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "main/engine/caffeinate_supervisor.h"
#include "main/engine/sleep_switch.h"
#include "main/remote/screen_lock.h"
#include "support/identity.h"
#include "support/utf8.h"

namespace corvel {
namespace {

// Nobody waits on an event loop here, but a monitoring script must get its answer.
constexpr RunLimits StatusReadingLimits{std::chrono::seconds(5), ToolOutputCap};

const std::vector<std::string> DefaultsKeys{std::string(keys::protectionMode),
                                            std::string(keys::protectionEnabled),
                                            std::string(keys::didDisableScreenLock),
                                            std::string(keys::previousScreenLockState),
                                            std::string(keys::caffeinateProcessIdentifier),
                                            std::string(keys::caffeinateProcessIdentity)};

DefaultsValue valueOf(const DefaultsSnapshot& snapshot, std::string_view key) {
  const auto it = snapshot.find(key);
  return it == snapshot.end() ? DefaultsValue{} : it->second;
}

}  // namespace

StatusReadings StatusReport::read() {
  StatusReadings r;
  // With no system there is nothing to ask, and asking a tool could make its folder.
  if (platform_.missingSystemFolder) {
    r.missingSystemFolder = platform_.missingSystemFolder;
    return r;
  }
  const ToolPaths& tools = platform_.tools;
  if (const auto defaults = platform_.defaults.readDefaults(DefaultsKeys)) {
    r.mode = protectionModeFromRawValue(valueOf(*defaults, keys::protectionMode).text.value_or("standard"))
                 .value_or(ProtectionMode::standard);
    r.enabled = valueOf(*defaults, keys::protectionEnabled).boolean;
    r.screenLockDisabledByCorvel = valueOf(*defaults, keys::didDisableScreenLock).boolean;
    r.previousScreenLock = valueOf(*defaults, keys::previousScreenLockState).text;
    const auto child = decodeRecordedChild(valueOf(*defaults, keys::caffeinateProcessIdentifier).text,
                                           valueOf(*defaults, keys::caffeinateProcessIdentity).text);
    // Adopting only checks the process; the handle is dropped and the process left alone.
    if (child && platform_.processes.adopt(*child, tools.caffeinate, CaffeinateArguments)) r.caffeinatePid = child->pid;
  }
  r.corvelRunning = platform_.workspace.isApplicationRunning(bundleIdentifier);
  // A tool ended at its limit exits with EndedAtLimit and says nothing: read as unknown below.
  const ProcessResult pmset = platform_.processes.run(tools.pmset, {"-g"}, StatusReadingLimits);
  if (pmset.exitCode == 0 && !pmset.output.empty()) r.sleepDisabled = pmsetShowsSleepDisabled(pmset.output);
  r.screenLock = parseScreenLockState(
      platform_.processes.run(tools.sysadminctl, {"-screenLock", "status"}, StatusReadingLimits).output);
  r.sessionLocked = platform_.session.screenIsLockedFlag();
  // Lists rather than runs: unlike Corvel's own probe it never touches the sleep switch. -k makes sudo
  // ignore a ticket cached by a password given to sudo in the same terminal (sudo(8)); without it, an
  // administrator's general rule, which needs a password, would list the command as if Corvel's rule
  // were there.
  r.limitedPermission =
      platform_.processes
          .run(tools.sudo, {"-n", "-k", "-l", "/usr/bin/pmset", "-a", "disablesleep", "1"}, StatusReadingLimits)
          .exitCode == 0;
  if (const auto agent = platform_.agents.agentServiceWithPlistName(watchdogPlistName)) r.watchdog = agent->status();
  r.watchdogRunning = platform_.agentProcesses.isAgentRunning(watchdogPlistName);
  return r;
}

StatusAssessment assessStatus(const StatusReadings& r) {
  StatusAssessment a;
  if (r.missingSystemFolder) {
    // A Mac where Corvel never ran has nothing on and nothing changed.
    a.failing = {ReportItem::system};
    return a;
  }
  const auto fail = [&](ReportItem item) { a.failing.push_back(item); };
  if (!r.enabled) {
    fail(ReportItem::settings);
  } else if (*r.enabled) {
    if (r.corvelRunning != true) fail(ReportItem::corvel);
    if (!r.caffeinatePid) fail(ReportItem::caffeinate);
    if (r.mode == ProtectionMode::remoteStrong) {
      if (r.sleepDisabled != true) fail(ReportItem::sleepSwitch);
      if (r.screenLock != ScreenLockState::off()) fail(ReportItem::screenLock);
      if (!r.limitedPermission) fail(ReportItem::permission);
    }
  } else {
    // A Mac left open after protection went off is a finding, not "off".
    if (r.sleepDisabled != false) fail(ReportItem::sleepSwitch);
    const bool recorded = r.screenLockDisabledByCorvel || r.previousScreenLock;
    const bool maybeOff = r.screenLock == ScreenLockState::off() || r.screenLock == ScreenLockState::unknown();
    if (recorded && maybeOff) fail(ReportItem::screenLock);
  }
  a.verdict = !a.failing.empty() ? Verdict::degraded : *r.enabled ? Verdict::protected_ : Verdict::off;
  return a;
}

int exitStatus(Verdict verdict) {
  switch (verdict) {
    case Verdict::protected_:
      return 0;
    case Verdict::degraded:
      return 1;
    case Verdict::off:
      return 2;
  }
  return 1;
}

namespace {

// ---- JSON ----

// Stored texts may hold anything; invalid UTF-8 becomes U+FFFD so the line stays valid JSON.
std::string jsonString(std::string_view text) {
  std::string out = "\"";
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t start = i;
    const auto c = utf8::next(text, i);
    if (!c) {
      out += "\\ufffd";
      i = start + 1;
    } else if (*c == '"' || *c == '\\') {
      out += '\\';
      out += static_cast<char>(*c);
    } else if (*c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(*c));
      out += escaped;
    } else {
      out.append(text.substr(start, i - start));
    }
  }
  return out + "\"";
}

std::string jsonBool(std::optional<bool> value) { return !value ? "null" : *value ? "true" : "false"; }

std::string jsonText(const std::optional<std::string>& value) { return value ? jsonString(*value) : "null"; }

std::string_view verdictName(Verdict verdict) {
  switch (verdict) {
    case Verdict::protected_:
      return "protected";
    case Verdict::degraded:
      return "degraded";
    case Verdict::off:
      return "off";
  }
  return "degraded";
}

std::string_view agentStatusName(AgentStatus status) {
  switch (status) {
    case AgentStatus::enabled:
      return "enabled";
    case AgentStatus::requiresApproval:
      return "requiresApproval";
    case AgentStatus::notRegistered:
      return "notRegistered";
    case AgentStatus::notFound:
      return "notFound";
  }
  return "notFound";
}

std::string screenLockName(const ScreenLockState& state) {
  return state == ScreenLockState::unknown() ? "unknown" : state.sysadminctlValue();
}

bool recordedLockChange(const StatusReadings& r) { return r.screenLockDisabledByCorvel || r.previousScreenLock; }

std::string problem(ReportItem item, const StatusReadings& r) {
  const bool on = r.enabled == true;
  switch (item) {
    case ReportItem::system:
      return "The Mac's folder " + r.missingSystemFolder.value_or("") + " does not exist; nothing was read.";
    case ReportItem::settings:
      return "Corvel's settings cannot be read; they were left as they are.";
    case ReportItem::corvel:
      return r.corvelRunning ? "Corvel is not running." : "Whether Corvel is running cannot be told.";
    case ReportItem::caffeinate:
      return "caffeinate is not holding the Mac awake.";
    case ReportItem::sleepSwitch:
      if (!r.sleepDisabled) return "The system sleep switch cannot be read.";
      return on ? "System sleep is not disabled." : "System sleep is still disabled although protection is off.";
    case ReportItem::screenLock:
      if (r.screenLock == ScreenLockState::unknown()) return "The screen-lock setting cannot be read.";
      return on ? "The screen lock is not off." : "The screen lock is still off although protection is off.";
    case ReportItem::permission:
      return "The limited sudo permission does not work.";
    case ReportItem::session:
    case ReportItem::watchdog:
      break;
  }
  return "";
}

// ---- Text ----

// A stored text shown to a terminal: no control or direction characters that could rewrite the
// screen, no invalid bytes, and short enough for one line.
std::string shown(std::string_view text) {
  constexpr std::size_t limit = 40;
  std::string out = "「";
  std::size_t i = 0, count = 0;
  while (i < text.size()) {
    if (++count > limit) {
      out += "…";
      break;
    }
    const std::size_t start = i;
    const auto c = utf8::next(text, i);
    if (!c) i = start + 1;
    const bool unsafe = !c || *c < 0x20 || (*c >= 0x7f && *c < 0xa0) || (*c >= 0x202a && *c <= 0x202e) ||
                        (*c >= 0x2066 && *c <= 0x2069);
    out += unsafe ? std::string("�") : std::string(text.substr(start, i - start));
  }
  return out + "」";
}

std::string screenLockWords(const ScreenLockState& state) {
  switch (state.kind()) {
    case ScreenLockState::Kind::off:
      return "オフ";
    case ScreenLockState::Kind::immediate:
      return "すぐに要求";
    case ScreenLockState::Kind::delay:
      return std::to_string(state.seconds()) + "秒後に要求";
    case ScreenLockState::Kind::unknown:
      return "読めません";
  }
  return "読めません";
}

std::string_view headline(Verdict verdict, const StatusReadings& r) {
  switch (verdict) {
    case Verdict::protected_:
      return "判定：保護中 — このMacはスリープしません";
    case Verdict::degraded:
      return "判定：要確認 — 保護が欠けているか、Macの設定が変わったままです";
    case Verdict::off:
      // The rule is kept on purpose when the mode goes back to standard, so it is no finding; but it
      // is a change, and must not be denied.
      return r.limitedPermission ? "判定：OFF — 保護はOFFです（sudo の限定権限の規則は残っています）"
                                 : "判定：OFF — 保護はOFFで、変わったままの設定はありません";
  }
  return "";
}

constexpr std::string_view SwitchAgain = "Corvel でいったん OFF にしてから ON に戻してください";
constexpr std::string_view RestoreAndQuit = "Corvel の「設定を元に戻して終了…」で元に戻してください";
constexpr std::string_view ChooseRemoteAgain = "Corvel で通常モードに戻してからリモート強制モードを選び直してください";

// "label：state", and for a failing item " → what to do".
std::string line(ReportItem item, const StatusReadings& r, bool failing) {
  std::string state, advice;
  const bool on = r.enabled == true;
  switch (item) {
    case ReportItem::system:
      state = "Mac：フォルダ" + shown(r.missingSystemFolder.value_or("")) +
              "がありません（何も読まず、何も作っていません）";
      advice = "場所が正しいか確かめてください";
      break;
    case ReportItem::settings:
      state = !r.enabled ? "設定：読めません（ファイルはそのままにしてあります）"
                         : "設定：" + std::string(displayName(*r.mode)) + "・" + (on ? "ON" : "OFF");
      advice = "設定ファイルを直すか取り除いてから Corvel を開いてください";
      break;
    case ReportItem::corvel:
      state = !r.corvelRunning   ? "Corvel：起動しているか分かりません"
              : *r.corvelRunning ? "Corvel：起動中"
                                 : "Corvel：起動していません";
      advice = !r.corvelRunning ? "Mac の画面のセッションで確かめてください"
               : r.watchdog == AgentStatus::enabled
                   ? "ウォッチドッグが数秒のうちに起動し直します。戻らなければ Corvel を開いてください"
                   : "Corvel を開いてください";
      break;
    case ReportItem::caffeinate:
      state = r.caffeinatePid ? "caffeinate：Mac を起こし続けています（pid " + std::to_string(*r.caffeinatePid) + "）"
                              : "caffeinate：動いていません";
      advice = SwitchAgain;
      break;
    case ReportItem::sleepSwitch:
      state = !r.sleepDisabled   ? "システムスリープ：読めません"
              : *r.sleepDisabled ? "システムスリープ：禁止中"
                                 : "システムスリープ：許可";
      advice = !r.sleepDisabled ? "pmset -g が答えるか確かめてください"
               : on             ? std::string(SwitchAgain) + "（Touch ID が要ります）"
                                : std::string(RestoreAndQuit) + "（または sudo pmset -a disablesleep 0）";
      break;
    case ReportItem::screenLock:
      state = "画面ロック設定：" + screenLockWords(r.screenLock);
      if (recordedLockChange(r)) {
        state += "（Corvel の記録：元の設定" + (r.previousScreenLock ? shown(*r.previousScreenLock) : "なし") + "）";
      }
      advice = r.screenLock == ScreenLockState::unknown() ? "sysadminctl -screenLock status が答えるか確かめてください"
               : on                                       ? ChooseRemoteAgain
                                                          : RestoreAndQuit;
      break;
    case ReportItem::session:
      state = !r.sessionLocked   ? "画面：分かりません（このセッションからは読めません）"
              : *r.sessionLocked ? "画面：ロック中"
                                 : "画面：ロックされていません";
      break;
    case ReportItem::permission:
      // Said in every mode: the rule outlives protection, and only the restore takes it away.
      state = r.limitedPermission ? "sudo の限定権限：有効（規則は Corvel の「設定を元に戻して終了…」で取り除かれます）"
                                  : "sudo の限定権限：ありません";
      advice = std::string(ChooseRemoteAgain) + "（規則を入れ直します）";
      break;
    case ReportItem::watchdog:
      if (!r.watchdog) {
        state = "ウォッチドッグ：分かりません";
      } else if (*r.watchdog == AgentStatus::enabled) {
        state = !r.watchdogRunning   ? "ウォッチドッグ：有効"
                : *r.watchdogRunning ? "ウォッチドッグ：有効・動作中"
                                     : "ウォッチドッグ：有効（CorvelWatchdog は動いていません）";
      } else if (*r.watchdog == AgentStatus::requiresApproval) {
        // Not failing, since protection holds without it; but nothing would restart Corvel.
        state = "ウォッチドッグ：承認待ち → システム設定 › 一般 › ログイン項目で Corvel "
                "のバックグラウンド実行を許可してください";
      } else if (*r.watchdog == AgentStatus::notRegistered) {
        // A running Corvel registers at launch: not registered now, that registration failed.
        state = r.corvelRunning == true
                    ? "ウォッチドッグ：Corvel は起動中ですが登録されていません → システム設定 › 一般 › ログイン項目で "
                      "Corvel を許可し、「OFFにして終了」で終了してから開き直してください"
                    : "ウォッチドッグ：登録されていません（Corvel を開くと登録します）";
      } else {
        state = "ウォッチドッグ：見つかりません（Corvel.app を入れ直してください）";
      }
      break;
  }
  return (failing ? "✗ " : "・") + state + (failing ? " → " + advice : "") + "\n";
}

}  // namespace

std::string statusJson(const StatusReadings& r, const StatusAssessment& a) {
  std::string problems;
  for (ReportItem item : a.failing) problems += (problems.empty() ? "" : ",") + jsonString(problem(item, r));
  return std::string(R"({"verdict":")") + std::string(verdictName(a.verdict)) + R"(","mode":)" +
         (r.mode ? jsonString(rawValue(*r.mode)) : "null") + R"(,"enabled":)" + jsonBool(r.enabled) +
         R"(,"corvelRunning":)" + jsonBool(r.corvelRunning) + R"(,"caffeinatePid":)" +
         (r.caffeinatePid ? std::to_string(*r.caffeinatePid) : "null") + R"(,"sleepDisabled":)" +
         jsonBool(r.sleepDisabled) + R"(,"screenLock":)" + jsonString(screenLockName(r.screenLock)) +
         R"(,"previousScreenLock":)" + jsonText(r.previousScreenLock) + R"(,"screenLockDisabledByCorvel":)" +
         jsonBool(r.screenLockDisabledByCorvel) + R"(,"sessionLocked":)" + jsonBool(r.sessionLocked) +
         R"(,"limitedPermission":)" + jsonBool(r.limitedPermission) + R"(,"watchdog":)" +
         (r.watchdog ? jsonString(agentStatusName(*r.watchdog)) : "null") + R"(,"problems":[)" + problems + "]}";
}

std::string statusText(const StatusReadings& r, const StatusAssessment& a) {
  std::string text = std::string(headline(a.verdict, r)) + "\n";
  for (ReportItem item : a.failing) text += line(item, r, true);
  if (r.missingSystemFolder) return text;
  for (ReportItem item : {ReportItem::settings, ReportItem::corvel, ReportItem::caffeinate, ReportItem::sleepSwitch,
                          ReportItem::screenLock, ReportItem::session, ReportItem::permission, ReportItem::watchdog}) {
    if (std::find(a.failing.begin(), a.failing.end(), item) == a.failing.end()) text += line(item, r, false);
  }
  return text;
}

}  // namespace corvel
