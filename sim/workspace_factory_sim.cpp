// CorvelWatchdog on the simulated Mac: Corvel is the program built beside it.
#include "sim_root.h"
#include "ports/workspace_factory.h"
#include "workspace_sim.h"

namespace corvel {

std::unique_ptr<Workspace> makeWorkspace() {
  return std::make_unique<sim::SimWorkspace>(sim::rootFolder(), sim::programFolder());
}

}  // namespace corvel
