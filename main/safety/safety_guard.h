// The safety guard: while protection is on, switches it off when the time limit has passed, the
// battery runs low or the Mac overheats, and notices (and, when asked to, repairs) protection that
// has fallen away on its own.
#pragma once

#include <chrono>
#include <optional>

#include "main/engine/caffeinate_supervisor.h"
#include "main/engine/sleep_switch.h"
#include "main/remote/limited_permission.h"
#include "main/remote/screen_lock.h"
#include "main/safety/guard_settings.h"
#include "main/settings.h"
#include "main/switching/protection.h"
#include "ports/machine.h"
#include "ports/notifications.h"
#include "ports/process_runner.h"
#include "ports/tool_paths.h"

namespace corvel {

// A repair is tried at most this often, and given up after this many in a row that did not hold.
inline constexpr std::chrono::milliseconds RepairInterval = std::chrono::seconds(30);
inline constexpr int RepairAttempts = 3;

// Everything the guard reads and acts through; references only.
struct SafetyGuardParts {
  SettingsStore& defaults;
  Clock& clock;
  Machine& machine;
  Notifications& notifications;
  ProcessRunner& processes;
  const ToolPaths& tools;
  Settings& settings;
  Protection& protection;
  CaffeinateSupervisor& caffeinate;
  SleepSwitch& sleepSwitch;
  LimitedPermission& permission;
  ScreenLock& screenLock;
};

class SafetyGuard {
 public:
  explicit SafetyGuard(SafetyGuardParts parts);

  // At each refresh, once the display has read the system (the sleep switch's reading is shared):
  // the limits in order — time, battery, heat — then a drift. True when it repaired something, so
  // that the display reads the system again; a stop redraws through the switch itself.
  bool check();
  // After every switch: a switch-on starts the time limit afresh and clears the last stop; a
  // switch-off ends the limit.
  void protectionChanged();

 private:
  std::optional<StopReason> dueStop(const GuardSettings& guard);
  void stop(StopReason reason, const GuardSettings& guard);
  bool watchDrift(const GuardSettings& guard);
  void notify(const std::string& title, const std::string& body);

  SafetyGuardParts p_;
  bool wasOn_;
  bool permissionAsked_ = false;
  // The drift episode: told once; repairs spaced out and given up after too many in a row.
  bool driftTold_ = false;
  int repairFailures_ = 0;
  std::optional<TimePoint> lastRepairAttempt_;
  std::optional<BatteryReading> lowBattery_;  // the reading that stopped protection, for its notice
};

}  // namespace corvel
