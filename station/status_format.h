// The instrument's status as the user sees it: lines for a terminal, JSON for scripts.
#pragma once

#include <string>

#include "station/instrument_status.h"

namespace gc6890 {

// Several lines, each ending in a line feed: flags, the three texts, time and readings.
std::string statusText(const InstrumentStatus& status);

// The same on one line (no line feed), for logs and "status --watch" into a file.
std::string statusLine(const InstrumentStatus& status);

// One JSON object on one line (no line feed): the keys of kStatusKeys.
std::string statusJson(const InstrumentStatus& status);

}  // namespace gc6890
