#include "station/run_state.h"

namespace gc6890 {

const char* runStateName(RunState state)
{
    switch (state) {
    case RunState::PreRun:
        return "pre-run";
    case RunState::Run:
        return "run";
    case RunState::PostRun:
        return "post-run";
    case RunState::Idle:
        break;
    }
    return "idle";
}

bool runUnderWay(RunState state)
{
    return state == RunState::Run || state == RunState::PostRun;
}

}  // namespace gc6890
