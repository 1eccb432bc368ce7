// Why the last failed operation failed, as far as the line is concerned. The library's
// operations answer 1 or 0; a host that must tell its user whether the instrument is out
// of reach or answered wrongly (and exit accordingly) asks here. The first failure since
// the host last cleared the note is kept: later ones (the channel's rebuild after it) are
// its consequences.
#pragma once

#include <string>

namespace gc6890 {

enum class LineFailureKind {
    None,         // nothing failed on the line (a refusal with a result code is no line failure)
    CannotOpen,   // the port did not open: the text holds the system's reason
    NoAnswer,     // a reply did not come within the time-out, or a write did not go out
    HungUp,       // the device hung up or went away
    WrongAnswer,  // a reply came but was not the answer (garbled, wrong head, short)
    Interrupted,  // the host interrupted the port waits (port_interrupt.h)
};

struct LineFailure {
    LineFailureKind kind = LineFailureKind::None;
    std::string text;  // one line for the user, e.g. "no answer to GCHTRI within 45000 ms"
};

// The first failure noted since the last ClearLineFailure().
const LineFailure& FirstLineFailure();
void ClearLineFailure();
// Noted by the channel; a note while one is held is dropped.
void NoteLineFailure(LineFailureKind kind, std::string text);

}  // namespace gc6890
