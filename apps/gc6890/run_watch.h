// Watching a started run to its end: the sampler injects, the GC runs, then post-runs.
#pragma once

#include <vector>

#include "service/status_history.h"
#include "session.h"

namespace gc6890::cli {

// How long the injection may take before the run must have started: the sampler's own
// limit for its late answer (300 s) and half a minute more for its preparation.
inline constexpr int kRunStartLimitMs = 330000;

// Polls every `pollMs` and prints a line per change on standard error until the run has
// ended. Throws CommandFailure when a poll fails or the line is lost (instrumentFailure:
// what failed and after how much run time), when the run does not start within the limit
// or the instrument reports an error before it starts, and when a signal interrupts.
// Each good poll is added to `samples` when given, for the run's results.
void watchRun(Session& session, int pollMs, std::vector<HistorySample>* samples = nullptr);

// A poll's readings as the status history keeps them, timed now.
HistorySample historySampleOf(const InstrumentStatus& status);

}  // namespace gc6890::cli
