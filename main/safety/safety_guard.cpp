// The safety guard's checks at each refresh, its stop, and the drift it tells of and repairs.
#include "safety_guard.h"

#include <string>

namespace corvel {
namespace {

// `pmset sleepnow` asks for sleep and returns; a few seconds cover a slow answer.
constexpr RunLimits SleepNowLimits{std::chrono::seconds(5), ToolOutputCap};

std::string reasonText(StopReason reason, const GuardSettings& guard, const std::optional<BatteryReading>& battery) {
  switch (reason) {
    case StopReason::timeLimit:
      return "設定した時間（" + formatDuration(guard.timeLimit.value_or(std::chrono::minutes(0))) + "）が過ぎました。";
    case StopReason::battery:
      return "バッテリー残量が" + std::to_string(guard.batteryFloor.value_or(0)) + "%以下になりました（残り" +
             std::to_string(battery ? battery->percent : 0) + "%）。";
    case StopReason::thermal:
      return "Macの温度が危険な状態になりました。";
  }
  return {};
}

}  // namespace

SafetyGuard::SafetyGuard(SafetyGuardParts parts) : p_(parts), wasOn_(parts.settings.enabled()) {}

void SafetyGuard::protectionChanged() {
  const bool on = p_.settings.enabled();
  if (on && !wasOn_) {
    p_.defaults.remove(keys::lastSafetyStopReason);
    p_.defaults.remove(keys::lastSafetyStopAt);
    const GuardSettings guard = readGuardSettings(textOf(p_.defaults));
    if (guard.timeLimit) {
      p_.defaults.setString(keys::deadline, isoTime(p_.clock.now() + *guard.timeLimit));
    } else {
      p_.defaults.remove(keys::deadline);
    }
    driftTold_ = false;
    repairFailures_ = 0;
    lastRepairAttempt_.reset();
  }
  if (!on) p_.defaults.remove(keys::deadline);
  wasOn_ = on;
}

bool SafetyGuard::check() {
  // A change the switch did not make (the store edited, a relaunch) counts as the switch would.
  if (p_.settings.enabled() != wasOn_) protectionChanged();
  const GuardSettings guard = readGuardSettings(textOf(p_.defaults));
  // Asked when a guard is first set, so that the person who set it is likely there to answer.
  if (!permissionAsked_ && guard != GuardSettings{}) {
    p_.notifications.requestPermission();
    permissionAsked_ = true;
  }
  if (!wasOn_ || p_.protection.isSwitchInProgress()) return false;
  if (const auto reason = dueStop(guard)) {
    stop(*reason, guard);
    return false;
  }
  return watchDrift(guard);
}

std::optional<StopReason> SafetyGuard::dueStop(const GuardSettings& guard) {
  auto deadline = readDeadline(textOf(p_.defaults));
  // A limit set while on (or by an older Corvel) counts from the moment it is seen; one taken away
  // takes its deadline with it.
  if (guard.timeLimit && !deadline) {
    deadline = p_.clock.now() + *guard.timeLimit;
    p_.defaults.setString(keys::deadline, isoTime(*deadline));
  } else if (!guard.timeLimit && deadline) {
    p_.defaults.remove(keys::deadline);
    deadline.reset();
  }
  if (deadline && p_.clock.now() >= *deadline) return StopReason::timeLimit;
  if (guard.batteryFloor) {
    lowBattery_ = p_.machine.battery();
    if (lowBattery_ && lowBattery_->onBattery && lowBattery_->percent <= *guard.batteryFloor)
      return StopReason::battery;
  }
  if (guard.thermalStop && p_.machine.thermalState() == ThermalState::critical) return StopReason::thermal;
  return std::nullopt;
}

void SafetyGuard::stop(StopReason reason, const GuardSettings& guard) {
  const ModeTraits& mode = traits(p_.settings.mode());
  const Outcome off = p_.protection.switchOffUnasked();
  if (off == Failure::switchInProgress) return;
  p_.defaults.setString(keys::lastSafetyStopReason, rawValue(reason));
  p_.defaults.setString(keys::lastSafetyStopAt, isoTime(p_.clock.now()));
  std::string body = reasonText(reason, guard, lowBattery_);
  if (!off) body += "システムスリープは禁止されたままです。";
  if (mode.disablesScreenLock && p_.screenLock.screenLockState() == ScreenLockState::off()) {
    body += "画面ロックはオフのままです。戻すにはメニューの「設定を元に戻して終了…」を選んでください。";
  }
  // The kernel looks at the lid only when it opens or closes: with sleep allowed and the lid already
  // shut, the Mac would keep running until someone opened it. With sleep still forbidden the kernel
  // refuses to sleep, so it is neither tried nor promised.
  const bool lidClosed = off && p_.machine.lidClosed() == true;
  if (lidClosed) body += "蓋が閉じているため、Macをスリープさせます。";
  notify("スリープ防止をOFFにしました", body);
  if (lidClosed) static_cast<void>(p_.processes.run(p_.tools.pmset, {"sleepnow"}, SleepNowLimits));
}

bool SafetyGuard::watchDrift(const GuardSettings& guard) {
  const bool forbidsSleep = traits(p_.settings.mode()).forbidsSystemSleep;
  const bool caffeinateRunning = p_.caffeinate.isCaffeinateRunning();
  // Only a reading that says sleep is allowed counts: one that gave no answer proves nothing.
  const bool sleepAllowed = forbidsSleep && p_.sleepSwitch.lastReading() == false;
  if (caffeinateRunning && !sleepAllowed) {
    driftTold_ = false;
    repairFailures_ = 0;
    return false;
  }
  if (!driftTold_) {
    driftTold_ = true;
    notify("スリープ防止が効いていません",
           std::string(!caffeinateRunning ? "caffeinateが終了しました。" : "システムスリープの禁止が解除されました。") +
               (guard.repair ? "元に戻します。" : "メニューからONに切り替え直してください。"));
  }
  if (!guard.repair || repairFailures_ >= RepairAttempts) return false;
  const TimePoint now = p_.clock.now();
  if (lastRepairAttempt_ && now - *lastRepairAttempt_ < RepairInterval) return false;
  lastRepairAttempt_ = now;
  // The consented state put back as a launch puts it back: no prompt, and only the rule's command.
  p_.caffeinate.startCaffeinateIfNeeded();
  if (sleepAllowed && p_.permission.hasLimitedPermission()) static_cast<void>(p_.sleepSwitch.runPrivilegedPmset(true));
  const bool held =
      p_.caffeinate.isCaffeinateRunning() && (!forbidsSleep || p_.sleepSwitch.readSleepDisabled() == true);
  if (held) {
    const Repairs before = readRepairs(textOf(p_.defaults));
    p_.defaults.setString(keys::repairCount, std::to_string(before.count + 1));
    p_.defaults.setString(keys::lastRepairAt, isoTime(now));
    // The episode is over: the next fall is a new one, and is told.
    driftTold_ = false;
    repairFailures_ = 0;
  } else if (++repairFailures_ == RepairAttempts) {
    notify("スリープ防止を直せませんでした",
           "自動での修復に" + std::to_string(RepairAttempts) +
               "回続けて失敗したため、やめました。メニューからONに切り替え直してください。");
  }
  return true;
}

void SafetyGuard::notify(const std::string& title, const std::string& body) {
  if (!permissionAsked_) {
    p_.notifications.requestPermission();
    permissionAsked_ = true;
  }
  p_.notifications.post(title, body);
}

}  // namespace corvel
