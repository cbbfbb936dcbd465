// AppDelegate's construction, its settings over the store, and the application callbacks.
#include "app_delegate.h"

namespace corvel {

AppDelegate::AppDelegate(Platform& platform)
    : platform_(platform),
      defaults(platform.defaults),
      statusItem(nullptr),
      statusMenu(platform.statusBar.makeMenu()),
      statusLine(platform.statusBar.makeMenuItem("", "")),
      toggleItem(platform.statusBar.makeMenuItem("", "")),
      standardModeItem(platform.statusBar.makeMenuItem("通常モード", "")),
      remoteModeItem(platform.statusBar.makeMenuItem("リモート強制モード", "")),
      refreshTimer(nullptr),
      caffeinateProcess(nullptr) {}

ProtectionMode AppDelegate::mode() const {
  // An unknown stored text falls back without being written back: the user's store stays as it was.
  const auto stored = defaults.string(keys::protectionMode);
  return protectionModeFromRawValue(stored.value_or("standard")).value_or(ProtectionMode::standard);
}

void AppDelegate::setMode(ProtectionMode mode) { defaults.setString(keys::protectionMode, rawValue(mode)); }

bool AppDelegate::enabled() const { return defaults.boolean(keys::protectionEnabled); }

void AppDelegate::setEnabled(bool on) { defaults.setBoolean(keys::protectionEnabled, on); }

ProcessResult AppDelegate::runProcess(const std::string& executable, const std::vector<std::string>& arguments) {
  return platform_.processes.run(executable, arguments);
}

ProcessResult AppDelegate::runProcessWithInput(const std::string& executable,
                                               const std::vector<std::string>& arguments,
                                               const std::string& input) {
  return platform_.processes.runWithInput(executable, arguments, input);
}

}  // namespace corvel
