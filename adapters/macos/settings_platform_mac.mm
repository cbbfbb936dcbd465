// Wires the settings commands to the Mac: Corvel's preferences domain named by its bundle identifier,
// so that they run from Terminal or over SSH alike and never start the application.
#include "adapters/posix/system_posix.h"
#include "adapters_mac.h"
#include "corvel/build_config.h"
#include "ports/settings_platform.h"

namespace corvel {
namespace {

class MacSettingsServices final : public SettingsServices {
 public:
  MacSettingsServices()
      : defaults_(mac::makeApplicationDomainStore(AppBundleIdentifier)),
        platform_{.defaults = *defaults_, .clock = clock_} {}

  SettingsPlatform& platform() override { return platform_; }

 private:
  std::unique_ptr<SettingsStore> defaults_;
  PosixClock clock_;
  SettingsPlatform platform_;
};

}  // namespace

std::unique_ptr<SettingsServices> makeSettingsServices() { return std::make_unique<MacSettingsServices>(); }

}  // namespace corvel
