// The workspace adapter of the platform CorvelWatchdog was built for.
#pragma once

#include <memory>

#include "ports/workspace.h"

namespace corvel {

std::unique_ptr<Workspace> makeWorkspace();

}  // namespace corvel
