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

// The merged record alone as JSON (no run state: the record does not hold it), for the
// service's instrument thread, which adds the run state itself.
std::string statusJson(CInletSystemStatus& record);

}  // namespace gc6890
