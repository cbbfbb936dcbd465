// CorvelWatchdog on the simulated Mac: Corvel is the program built beside it.
#include <cstdlib>

#include "sim_root.h"
#include "ports/workspace_factory.h"
#include "workspace_sim.h"

namespace corvel {

std::unique_ptr<Workspace> makeWorkspace() {
  const auto root = sim::rootFolder();
  // A root Corvel would refuse is not served. One watchdog serves a root, as launchd runs one
  // instance of an agent: two would both relaunch Corvel in the same cycle. The watchdog has nobody
  // to tell, so it ends quietly.
  if (sim::refusalOfRoot(root)) std::exit(1);
  if (sim::claimRootForWatchdog(root) != sim::Claim::taken) std::exit(0);
  return std::make_unique<sim::SimWorkspace>(root, sim::programFolder());
}

}  // namespace corvel
