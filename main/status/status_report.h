// The status check told to a person or a script: what was read and the verdict on it, as Japanese
// text or as one JSON line. Each form is written in a file of its own.
#pragma once

#include <string>

#include "status_verdict.h"

namespace corvel {

// One compact JSON object, without a line feed, with exactly the documented keys in their order.
std::string statusJson(const StatusReadings& readings, const StatusAssessment& assessment);
// The verdict, then one line per item, failing items first, each with what to do; ends with a line feed.
std::string statusText(const StatusReadings& readings, const StatusAssessment& assessment);

}  // namespace corvel
