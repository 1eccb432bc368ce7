// A session with the instrument: the GC and sampler objects, driven in the host's order
// of calls (construct GC, InitialiseComms; construct sampler, InitialiseComms,
// Initialise; ... CloseDownComms and destruction, sampler first), with the platform's
// timers pumped while the program waits, so that the sampler's injection wait and the
// channel's rebuild retry run.
#pragma once

#include <memory>

#include "interface/inlet_system_status.h"
#include "station/instruments.h"

namespace gc6890::cli {

class Session {
public:
    enum class Parts { GCOnly, GCAndSampler };

    // Checks the port settings (bad input), then opens communications; throws
    // CommandFailure (instrumentFailure) when the GC or the sampler side cannot be started.
    // `progress` is told of GC method downloads.
    explicit Session(Parts parts, DownloadProgress progress = {});
    // Closes communications and destroys the objects (sampler first).
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    CGCSystem& gc() { return *gc_; }
    // Only in a GC-and-sampler session.
    CAutoSampler& sampler() { return *sampler_; }

    // Polls both objects and merges their records into `status` (which starts fresh).
    // False when a poll failed (instrumentFailure() then says why); `status` then holds
    // what the polls filled.
    bool readStatus(CInletSystemStatus& status);

    // Waits `milliseconds`, running due timers meanwhile. False when a signal (Ctrl-C,
    // SIGTERM) interrupted, which ends the wait early.
    bool wait(int milliseconds);

    // Whether a signal interrupted this program run (the port waits end at once then).
    static bool interrupted();

private:
    void close();

    std::unique_ptr<CGCSystem> gc_;
    std::unique_ptr<CAutoSampler> sampler_;
};

}  // namespace gc6890::cli
