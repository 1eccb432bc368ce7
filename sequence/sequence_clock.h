// The sequence runner's time: the steady clock for its bounded waits (the GC's readiness,
// the run's start), Unix time for the journal, the results and the status history asked
// for. The system's clocks by default; a test gives its own, so that a half-hour wait
// passes in no time.
#pragma once

#include <cstdint>
#include <string>

namespace gc6890 {

class SequenceClock {
public:
    virtual ~SequenceClock() = default;
    virtual std::int64_t steadyMs() const;
    virtual std::int64_t unixMs() const;
};

// The system's clocks.
const SequenceClock& systemSequenceClock();

// Unix milliseconds as UTC ISO-8601 to the millisecond: "2026-12-06T03:15:00.250Z", as the
// journal, the results, the service and the audit trail write times.
std::string isoTime(std::int64_t unixMs);

}  // namespace gc6890
