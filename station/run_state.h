// The GC's own run state, as its run-state question gives it (the merged record counts a
// busy sampler as running too; this does not).
#pragma once

#include <optional>
#include <string_view>

namespace gc6890 {

enum class RunState { Idle, PreRun, Run, PostRun };
const char* runStateName(RunState state);  // "idle", "pre-run", "run", "post-run"
std::optional<RunState> runStateNamed(std::string_view name);  // none for another word

// A run under way: its run or its post-run. Pre-run is not: a GC with auto prep run sits
// in pre-run whenever it is idle, waiting there for the next injection.
bool runUnderWay(RunState state);

}  // namespace gc6890
