// A session with the instrument: the one instrument object (the GC and its sampler, opened
// and closed in the design's order), with the port settings checked first and the
// platform's timers pumped while the program waits, so that the sampler's injection wait
// and the channel's rebuild retry run.
#pragma once

#include "station/instrument.h"

namespace gc6890::cli {

class Session {
public:
    using Parts = Instrument::Parts;

    // Checks the port settings (bad input), then opens communications; throws
    // CommandFailure (instrumentFailure) when the GC or the sampler side cannot be started.
    // `progress` is told of GC method downloads.
    explicit Session(Parts parts, DownloadProgress progress = {});
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Its operations; closed (sampler first) when the session ends.
    Instrument& instrument() { return instrument_; }

    // Waits `milliseconds`, running due timers meanwhile. False when a signal (Ctrl-C,
    // SIGTERM) interrupted, which ends the wait early.
    bool wait(int milliseconds);

    // Whether a signal interrupted this program run (the port waits end at once then).
    static bool interrupted();

private:
    Instrument instrument_;
};

}  // namespace gc6890::cli
