// Corvel's entry point: answers the diagnostic switch, or wires the delegate to the platform and
// runs the event loop.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "main/app_delegate.h"
#include "main/command_line.h"
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
  auto services = makePlatformServices(arguments);
  Platform& platform = services->platform();
  auto delegate = std::make_shared<AppDelegate>(platform);
  platform.application.setDelegate(delegate.get());
  platform.application.setActivationPolicyRegular();
  platform.application.run();
  return 0;
}
