// CorvelWatchdog on the Mac: the system's workspace.
#include "adapters_mac.h"
#include "ports/workspace_factory.h"

namespace corvel {

std::unique_ptr<Workspace> makeWorkspace() { return mac::makeWorkspace(); }

}  // namespace corvel
