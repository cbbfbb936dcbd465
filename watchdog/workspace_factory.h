// The workspace adapter of the platform CorvelWatchdog was built for.
#pragma once

#include <memory>

#include "platform/workspace.h"

namespace corvel {

std::unique_ptr<Workspace> makeWorkspace();

}  // namespace corvel
