// The status check told to a person: the verdict, then each item's state, and for a failing one
// what to do.
#include "status_report.h"

#include <algorithm>
#include <utility>

#include "support/utf8.h"

namespace corvel {
namespace {

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

// Why the guard stopped, and what to see to before switching on again.
std::pair<std::string_view, std::string_view> stopWords(StopReason reason) {
  switch (reason) {
    case StopReason::timeLimit:
      return {"時間制限に達したため", "Corvel で ON にすると、時間制限を最初から数えて保護を再開します"};
    case StopReason::battery:
      return {"バッテリー残量が下限まで減ったため", "電源をつないでから Corvel で ON にすると保護を再開します"};
    case StopReason::thermal:
      return {"Mac が高温になったため", "Mac が冷えてから Corvel で ON にすると保護を再開します"};
  }
  return {};
}

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
    case ReportItem::deadline:
      if (!r.deadline) return "";
      state = "時間制限：" + isoTime(*r.deadline) + " に保護を OFF にします";
      break;
    case ReportItem::safetyStop: {
      const auto [why, resume] = stopWords(r.lastSafetyStop->reason);
      // Stopping is switching off: the screen lock stays as remote strong mode left it, for the restore.
      const bool lockLeftOff = r.recordedScreenLockChange() && r.screenLock == ScreenLockState::off();
      state = "安全停止：" + isoTime(r.lastSafetyStop->at) + "、" + std::string(why) + "保護を OFF にしました（" +
              (lockLeftOff ? "モードと安全停止の設定はそのまま、画面ロックもオフのままです）"
                           : "モードと安全停止の設定はそのままです）");
      advice = std::string(resume) +
               (traits(r.mode.value_or(ProtectionMode::standard)).needsTouchID ? "（Touch ID が要ります）" : "");
      break;
    }
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
      if (r.recordedScreenLockChange()) {
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

std::string statusText(const StatusReadings& r, const StatusAssessment& a) {
  std::string text = std::string(headline(a.verdict, r)) + "\n";
  for (ReportItem item : a.failing) text += line(item, r, true);
  if (r.missingSystemFolder) return text;
  for (ReportItem item :
       {ReportItem::settings, ReportItem::deadline, ReportItem::corvel, ReportItem::caffeinate, ReportItem::sleepSwitch,
        ReportItem::screenLock, ReportItem::session, ReportItem::permission, ReportItem::watchdog}) {
    if (std::find(a.failing.begin(), a.failing.end(), item) == a.failing.end()) text += line(item, r, false);
  }
  return text;
}

}  // namespace corvel
