#include "sequence/sequence_clock.h"

#include <chrono>
#include <cstdio>
#include <ctime>

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

std::string isoTime(std::int64_t unixMs)
{
    const std::time_t seconds = static_cast<std::time_t>(unixMs / 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[40];
    const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    std::snprintf(text + n, sizeof text - n, ".%03dZ", static_cast<int>(unixMs % 1000));
    return text;
}

}  // namespace gc6890
