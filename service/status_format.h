// The merged status record as the user sees it: lines for a terminal, JSON for scripts.
#pragma once

#include <string>

#include "interface/inlet_system_status.h"

namespace gc6890 {

// Several lines, each ending in a line feed: flags, the three texts, time and readings.
std::string statusText(CInletSystemStatus& status);

// The same on one line (no line feed), for logs and "status --watch" into a file.
std::string statusLine(CInletSystemStatus& status);

// One JSON object on one line (no line feed). Keys: running, post_running, not_ready,
// error (booleans); status_text, not_ready_text, error_text; elapsed_min,
// oven_temperature, column1_pressure, column1_flow (numbers).
std::string statusJson(CInletSystemStatus& status);

}  // namespace gc6890
