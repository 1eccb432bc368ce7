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
    const auto real =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_)
            .count();
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

std::chrono::steady_clock::time_point Clock::realTimeAt(std::int64_t atMs) const
{
    if (!isRealTime())
        return std::chrono::steady_clock::now() + std::chrono::milliseconds(realMsUntil(atMs));
    const double realMs = static_cast<double>(atMs - offsetMs_) / speed_;
    return start_ + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                        std::chrono::duration<double, std::milli>(realMs));
}

}  // namespace gc6890::sim
