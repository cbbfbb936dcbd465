// Corvel's entry point: answers the diagnostic, status and settings switches, or wires the delegate
// to the platform and runs the event loop.
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "main/app_delegate.h"
#include "main/command_line.h"
#include "main/safety/settings_command.h"
#include "main/status/status_report.h"
#include "support/identity.h"

namespace {

// The whole of `text` on standard output, and nothing left in a buffer.
bool written(const std::string& text) {
  return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace corvel;
  const std::vector<std::string> arguments(argv, argv + argc);
  const CommandLine commandLine = parseCommandLine(arguments);
  switch (commandLine.action) {
    case CommandLine::Action::refuse: {
      // Before anything is opened: a mistyped switch must not switch protection.
      const std::string line = commandLine.refusal + "\n";
      std::fwrite(line.data(), 1, line.size(), stderr);
      return UsageExitStatus;
    }
    case CommandLine::Action::diagnose: {
      // Before anything else exists: no application, no settings, no child process.
      const std::string line = diagnosticLine(bundleIdentifier) + "\n";
      return written(line) ? 0 : 1;
    }
    case CommandLine::Action::status: {
      // Also before anything else: only reading ports exist, so the check can change nothing.
      auto services = makeStatusServices();
      const StatusReadings readings = readStatus(services->platform());
      const StatusAssessment assessment = assessStatus(readings);
      const std::string report =
          commandLine.json ? statusJson(readings, assessment) + "\n" : statusText(readings, assessment);
      // A report that did not arrive must not pass for its verdict.
      return written(report) ? exitStatus(assessment.verdict) : 1;
    }
    case CommandLine::Action::settings:
    case CommandLine::Action::set:
    case CommandLine::Action::extend: {
      // Only the defaults, as `defaults write` has them: no application, nothing claimed, no pipe.
      std::unique_ptr<SettingsServices> services;
      try {
        services = makeSettingsServices();
      } catch (const std::exception& error) {
        const std::string line = "Corvel: " + std::string(error.what()) + "\n";
        std::fwrite(line.data(), 1, line.size(), stderr);
        return 1;
      }
      SettingsPlatform& platform = services->platform();
      const CommandOutput output = commandLine.action == CommandLine::Action::settings
                                       ? showGuardSettings(platform, commandLine.json)
                                   : commandLine.action == CommandLine::Action::set
                                       ? setGuardSetting(platform, commandLine.setting, commandLine.asked)
                                       : extendTimeLimit(platform, commandLine.extension);
      std::fwrite(output.err.data(), 1, output.err.size(), stderr);
      return written(output.out) ? output.exitStatus : 1;
    }
    case CommandLine::Action::open:
      break;
  }
  auto services = makePlatformServices(arguments);
  Platform& platform = services->platform();
  auto delegate = std::make_shared<AppDelegate>(platform);
  platform.application.setDelegate(delegate.get());
  platform.application.setActivationPolicyRegular();
  platform.application.run();
  return 0;
}
