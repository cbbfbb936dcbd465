// The simulated Mac's condition, from its files:
//   mac/battery   "PERCENT SOURCE", SOURCE "ac" or "battery"; absent: a Mac without a battery
//   mac/thermal   "nominal", "fair", "serious" or "critical"; absent: nominal
//   mac/lid       "open" or "closed"; absent: open
// A file that does not read as one of these, or is there but cannot be read, is as unreadable as it
// would be on a Mac: none.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

#include "ports/machine.h"
#include "ports/notifications.h"

namespace corvel::sim {

std::optional<BatteryReading> parseBattery(std::string_view text);
std::optional<ThermalState> parseThermalState(std::string_view text);
std::string_view thermalStateName(ThermalState state);
// "closed" is true, "open" false.
std::optional<bool> parseLidClosed(std::string_view text);

class SimMachine final : public Machine {
 public:
  explicit SimMachine(std::filesystem::path root) : root_(std::move(root)) {}
  std::optional<BatteryReading> battery() override;
  std::optional<ThermalState> thermalState() override;
  std::optional<bool> lidClosed() override;

 private:
  std::filesystem::path root_;
};

}  // namespace corvel::sim
