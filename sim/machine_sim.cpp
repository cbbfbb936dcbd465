// The simulated Mac's power source, thermal state and lid, read from its files.
#include "machine_sim.h"

#include <array>
#include <string>

#include "sim_root.h"
#include "support/decimal.h"

namespace corvel::sim {
namespace {

constexpr std::array<std::string_view, 4> ThermalNames{"nominal", "fair", "serious", "critical"};

}  // namespace

std::optional<BatteryReading> parseBattery(std::string_view text) {
  const auto space = text.find(' ');
  if (space == std::string_view::npos) return std::nullopt;
  const auto percent = parseDecimal(text.substr(0, space));
  const std::string_view source = text.substr(space + 1);
  if (!percent || *percent > 100 || (source != "ac" && source != "battery")) return std::nullopt;
  return BatteryReading{static_cast<int>(*percent), source == "battery"};
}

std::optional<ThermalState> parseThermalState(std::string_view text) {
  for (std::size_t i = 0; i < ThermalNames.size(); ++i) {
    if (text == ThermalNames[i]) return static_cast<ThermalState>(i);
  }
  return std::nullopt;
}

std::string_view thermalStateName(ThermalState state) { return ThermalNames[static_cast<std::size_t>(state)]; }

std::optional<bool> parseLidClosed(std::string_view text) {
  if (text == "open" || text == "closed") return text == "closed";
  return std::nullopt;
}

std::optional<BatteryReading> SimMachine::battery() {
  const auto text = readValue(root_, "battery");
  return text ? parseBattery(*text) : std::nullopt;
}

std::optional<ThermalState> SimMachine::thermalState() {
  if (const auto text = readValue(root_, "thermal")) return parseThermalState(*text);
  return valueAbsent(root_, "thermal") ? std::optional(ThermalState::nominal) : std::nullopt;
}

std::optional<bool> SimMachine::lidClosed() {
  if (const auto text = readValue(root_, "lid")) return parseLidClosed(*text);
  return valueAbsent(root_, "lid") ? std::optional(false) : std::nullopt;
}

}  // namespace corvel::sim
