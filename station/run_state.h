// The GC's own run state, as its run-state question gives it (the merged record counts a
// busy sampler as running too; this does not).
#pragma once

namespace gc6890 {

enum class RunState { Idle, PreRun, Run, PostRun };
const char* runStateName(RunState state);  // "idle", "pre-run", "run", "post-run"

}  // namespace gc6890
