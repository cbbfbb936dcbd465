// Corvel's entry point: answers the diagnostic and status switches, or wires the delegate to the
// platform and runs the event loop.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "main/app_delegate.h"
#include "main/command_line.h"
#include "main/status/status_report.h"
#include "support/identity.h"

int main(int argc, char** argv) {
  using namespace corvel;
  const std::vector<std::string> arguments(argv, argv + argc);
  if (hasArgument(arguments, DiagnoseArgument)) {
    // Before anything else exists: no application, no settings, no child process.
    const std::string line = diagnosticLine(bundleIdentifier) + "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  if (hasArgument(arguments, StatusArgument)) {
    // Also before anything else: only reading ports exist, so the check can change nothing.
    auto services = makeStatusServices();
    const StatusReadings readings = StatusReport(services->platform()).read();
    const StatusAssessment assessment = assessStatus(readings);
    const std::string report = hasArgument(arguments, JsonArgument) ? statusJson(readings, assessment) + "\n"
                                                                    : statusText(readings, assessment);
    std::fwrite(report.data(), 1, report.size(), stdout);
    std::fflush(stdout);
    return exitStatus(assessment.verdict);
  }
  auto services = makePlatformServices(arguments);
  Platform& platform = services->platform();
  auto delegate = std::make_shared<AppDelegate>(platform);
  platform.application.setDelegate(delegate.get());
  platform.application.setActivationPolicyRegular();
  platform.application.run();
  return 0;
}
