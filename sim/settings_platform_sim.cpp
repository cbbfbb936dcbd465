// Wires the settings commands to the simulated Mac: its defaults file and the real clock, and none of
// the wiring that makes, claims or listens on the sim root.
#include <algorithm>
#include <filesystem>
#include <stdexcept>

#include "adapters/posix/system_posix.h"
#include "corvel/build_config.h"
#include "ports/settings_platform.h"
#include "settings_store_sim.h"
#include "sim_root.h"

namespace corvel {
namespace {
namespace fs = std::filesystem;

class SimSettingsServices final : public SettingsServices {
 public:
  explicit SimSettingsServices(const fs::path& root)
      : defaults_(root, AppBundleIdentifier), platform_{.defaults = defaults_, .clock = clock_} {}

  SettingsPlatform& platform() override { return platform_; }

 private:
  sim::JsonSettingsStore defaults_;
  PosixClock clock_;
  SettingsPlatform platform_;
};

}  // namespace

std::unique_ptr<SettingsServices> makeSettingsServices() {
  const fs::path root = sim::rootFolder();
  if (const auto refusal = sim::refusalOfRoot(root)) throw std::runtime_error(*refusal);
  // A Mac always exists where `defaults write` runs; a missing folder here is more likely a mistyped
  // CORVEL_SIM_ROOT than a new machine, and a setting written into a Mac made for it would reach no
  // Corvel while the person believes the running one has it.
  std::error_code failed;
  if (!fs::is_directory(root, failed)) {
    std::string shown = root.string();
    std::replace_if(
        shown.begin(), shown.end(), [](unsigned char c) { return c < 0x20 || c == 0x7f; }, '?');
    throw std::runtime_error("there is no simulated Mac at " + shown + "; open Corvel there once to make it");
  }
  return std::make_unique<SimSettingsServices>(root);
}

}  // namespace corvel
