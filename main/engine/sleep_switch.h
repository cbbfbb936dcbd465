// Reading the system-wide sleep switch from the power-management tool's report.
#pragma once

#include <string_view>

namespace corvel {

// True when some line of `pmset -g` output has "SleepDisabled" as its first blank-separated field
// and "1" as its second.
bool pmsetShowsSleepDisabled(std::string_view output);

}  // namespace corvel
