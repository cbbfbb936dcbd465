// Port: the machine's own condition — its power source, how hot it runs, and its lid — read at each
// refresh while protection is on.
#pragma once

#include <optional>

namespace corvel {

struct BatteryReading {
  int percent = 0;         // the charge, 0 to 100
  bool onBattery = false;  // drawing from the battery rather than from mains power
  friend bool operator==(const BatteryReading&, const BatteryReading&) = default;
};

// The system's own four steps, as the Mac names them; only critical stops protection.
enum class ThermalState { nominal, fair, serious, critical };

class Machine {
 public:
  virtual ~Machine() = default;
  // None on a Mac without a battery, or when the power sources cannot be read.
  virtual std::optional<BatteryReading> battery() = 0;
  // None when the system does not say.
  virtual std::optional<ThermalState> thermalState() = 0;
  // None on a Mac without a lid, or when it cannot be read.
  virtual std::optional<bool> lidClosed() = 0;
};

}  // namespace corvel
