// The sequence runner's time: the steady clock for its bounded waits (the GC's readiness,
// the run's start), Unix time for the journal, the results and the status history asked
// for. The system's clocks by default; a test gives its own, so that a half-hour wait
// passes in no time.
#pragma once

#include <cstdint>

namespace gc6890 {

class SequenceClock {
public:
    virtual ~SequenceClock() = default;
    virtual std::int64_t steadyMs() const;
    virtual std::int64_t unixMs() const;
};

// The system's clocks.
const SequenceClock& systemSequenceClock();

}  // namespace gc6890
