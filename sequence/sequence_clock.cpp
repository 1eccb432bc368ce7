#include "sequence/sequence_clock.h"

#include <chrono>

namespace gc6890 {

std::int64_t SequenceClock::steadyMs() const
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::int64_t SequenceClock::unixMs() const
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

const SequenceClock& systemSequenceClock()
{
    static const SequenceClock clock;
    return clock;
}

}  // namespace gc6890
