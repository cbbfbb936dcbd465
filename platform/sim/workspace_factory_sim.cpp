// CorvelWatchdog on the simulated Mac: Corvel is the program built beside it.
#include <climits>
#include <unistd.h>

#include "sim_root.h"
#include "watchdog/workspace_factory.h"
#include "workspace_sim.h"

namespace corvel {

std::unique_ptr<Workspace> makeWorkspace() {
  char path[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  const std::filesystem::path folder =
      n > 0 ? std::filesystem::path(std::string(path, static_cast<std::size_t>(n))).parent_path() : ".";
  return std::make_unique<sim::SimWorkspace>(sim::rootFolder(), folder);
}

}  // namespace corvel
