#include "comms/line_failure.h"

#include <utility>

#include "external/port_interrupt.h"

namespace gc6890 {

namespace {
LineFailure& held()
{
    static LineFailure failure;
    return failure;
}
}  // namespace

const LineFailure& FirstLineFailure()
{
    return held();
}

void ClearLineFailure()
{
    held() = LineFailure{};
}

void NoteLineFailure(LineFailureKind kind, std::string text)
{
    if (held().kind != LineFailureKind::None)
        return;
    // While the host interrupts the waits, every failure is the interrupt's doing.
    if (PortWaitsInterrupted() && kind != LineFailureKind::CannotOpen)
        held() = {LineFailureKind::Interrupted, "interrupted"};
    else
        held() = {kind, std::move(text)};
}

}  // namespace gc6890
