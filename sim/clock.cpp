#include "sim/clock.h"

#include <cmath>

namespace gc6890::sim {

Clock Clock::realTime(double speed)
{
    Clock clock;
    clock.speed_ = speed > 0.0 ? speed : 1.0;
    clock.start_ = std::chrono::steady_clock::now();
    return clock;
}

std::int64_t Clock::nowMs() const
{
    if (!isRealTime())
        return offsetMs_;
    const auto real = std::chrono::duration<double, std::milli>(
        std::chrono::steady_clock::now() - start_).count();
    return offsetMs_ + static_cast<std::int64_t>(real * speed_);
}

void Clock::advance(std::int64_t ms)
{
    if (ms > 0)
        offsetMs_ += ms;
}

std::int64_t Clock::realMsUntil(std::int64_t atMs) const
{
    const std::int64_t ahead = atMs - nowMs();
    if (ahead <= 0)
        return 0;
    if (!isRealTime())
        return ahead;
    return static_cast<std::int64_t>(std::ceil(static_cast<double>(ahead) / speed_));
}

}  // namespace gc6890::sim
