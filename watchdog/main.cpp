// CorvelWatchdog's entry point: no arguments, no environment, no output; it never returns.
#include <thread>

#include "corvel/build_config.h"
#include "watchdog.h"
#include "ports/workspace_factory.h"

int main() {
  const std::string targetBundleIdentifier{corvel::AppBundleIdentifier};
  auto workspace = corvel::makeWorkspace();
  corvel::watchdog::runChecks(*workspace, targetBundleIdentifier,
                              [](std::chrono::milliseconds interval) { std::this_thread::sleep_for(interval); });
  return 0;
}
