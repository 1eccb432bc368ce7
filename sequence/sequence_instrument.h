// What the sequence runner needs of the instrument, as one small interface with two
// implementations: the service's instrument thread (service/sequence_instrument_link.cpp, which
// reads its own polls and runs the operations between them) and the host program on the
// line (apps/gc6890/line_instrument.cpp, which polls when asked). The runner itself never
// names a library object, so the same rows, journal and recovery rules hold for both; the
// types here are its own, so that sequence/ needs nothing of the programs above it.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

namespace gc6890 {

// The instrument as the last poll found it.
struct InstrumentView {
    std::uint64_t polls = 0;  // good polls so far: a decision waits for one after an operation
    bool lineUp = false;
    bool gcInRun = false;      // run or post-run (not the pre-run of auto prep run)
    bool gcReady = false;      // the GC itself is ready for an injection
    std::string notReady;      // why not, in the GC's words ("" when ready)
    bool samplerBusy = false;  // preparing, injecting or in its post-run
};

// Where an injection stands after startInjection said yes.
enum class InjectionAnswer { Awaiting, Accepted, Refused };

class SequenceInstrument {
public:
    virtual ~SequenceInstrument() = default;

    // The GC's download and then the sampler's part of `method` (as the row names it).
    // False with `error` saying what refused it.
    virtual bool load(const std::string& method, std::string& error) = 0;
    // The SHA-256 of the bytes of the file `method` names, as the load reads it ("" when it
    // cannot be read).
    virtual std::string methodSha256(const std::string& method) = 0;
    // The sampler's injection from `vial` and the GC's start, as a run job does. False with
    // `error` when the sampler refused at once (a missing vial, a vial out of the tray).
    virtual bool startInjection(const std::string& method, int vial, float volume,
                                std::string& error) = 0;
    // After startInjection returned true: the sampler's answer so far. `error` holds the
    // refusal.
    virtual InjectionAnswer injection(std::string& error) = 0;
    // Stops the sampler and the GC's run (abort).
    virtual void stop() = 0;
    virtual InstrumentView view() = 0;
    // The experiment record of `method` with the injection volume.
    virtual bool record(const std::string& method, float volume, std::string& text) = 0;
    // The status history between two Unix times, as GET /api/v1/history gives it.
    virtual nlohmann::json history(std::int64_t fromMs, std::int64_t toMs) = 0;
};

}  // namespace gc6890
