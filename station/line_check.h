// The line check behind "gc6890 doctor": opens the line with the configured settings, runs
// the echo test of every address the channel's start-up checks, each timed, reads the
// identity, the configuration answers, one status of the GC and one of the sampler and the
// GC's current method, and says for each failure its likely cause and what to do.
//
// It changes nothing on the instrument: besides questions and echo tests it sends only what
// opening the line needs by design (the identity question of the GC's start-up, the
// pass-through port's "CCHTPO 1" and its closing "CCHTPC 1"). A busy pass-through port is
// reported and the sampler skipped; it is never forced closed, as the sampler's start-up
// would.
#pragma once

#include <string>
#include <vector>

#include "comms/hp6890_serial_comms.h"
#include "external/hardware_profile.h"

namespace gc6890 {

struct LineCheck {
    enum class Result { Passed, Failed, Skipped };
    std::string name;  // "echo CC", "identity", "GC status", ...
    Result result = Result::Passed;
    int ms = -1;         // from the question to its answer (or the time-out); -1 not timed
    std::string found;   // what came back, shortened for the table
    std::string cause;   // failed or skipped: the likely cause
    std::string remedy;  // failed: what to do
};

struct LineCheckReport {
    std::vector<LineCheck> checks;
    std::string identity;  // the identity answer, as it came
    std::string firmware;
    bool hardwareKnown = false;
    HardwareProfile profile;          // the installed hardware (hardwareKnown)
    std::vector<std::string> method;  // the GC's current method, one command per entry
    // Nothing answered, or the port did not open: no communication at all.
    bool noCommunication = false;

    bool passed() const;
};

// Runs every check on `channel` (not yet opened) and closes the line again.
LineCheckReport checkLine(CHP6890SerialComms& channel);

}  // namespace gc6890
