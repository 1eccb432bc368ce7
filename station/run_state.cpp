#include "station/run_state.h"

#include "platform/enum_names.h"

namespace gc6890 {

namespace {

constexpr EnumNames kRunStateNames({"idle", "pre-run", "run", "post-run"}, RunState::PostRun);

}  // namespace

const char* runStateName(RunState state)
{
    return kRunStateNames(state);
}

std::optional<RunState> runStateNamed(std::string_view name)
{
    return kRunStateNames.find(name);
}

bool runUnderWay(RunState state)
{
    return state == RunState::Run || state == RunState::PostRun;
}

}  // namespace gc6890
