#include "sim/line_pacer.h"

#include <algorithm>

namespace gc6890::sim {

namespace {

constexpr std::int64_t kBitsPerByte = 10;  // start bit, eight data bits, stop bit
constexpr std::int64_t kNanosPerSecond = 1'000'000'000;

}  // namespace

void LinePacer::enter(std::uint64_t count, TimePoint at)
{
    if (baud_ > 0 && through(at) == entered_) {
        // The line is idle: a new busy stretch starts now.
        stretchBase_ = entered_;
        stretchStart_ = at;
    }
    entered_ += count;
}

std::uint64_t LinePacer::through(TimePoint now) const
{
    if (baud_ == 0 || entered_ == stretchBase_)
        return entered_;
    const std::int64_t elapsed =
        std::chrono::duration_cast<std::chrono::nanoseconds>(now - stretchStart_).count();
    if (elapsed <= 0)
        return stretchBase_;
    // Whole bytes sent in `elapsed`: elapsed x baud / (10 x 1e9), in 128 bits against overflow.
    const auto bytes = static_cast<std::uint64_t>(static_cast<__int128>(elapsed) * baud_ /
                                                  (kBitsPerByte * kNanosPerSecond));
    return std::min(entered_, stretchBase_ + bytes);
}

LinePacer::TimePoint LinePacer::throughAt(std::uint64_t index) const
{
    if (baud_ == 0 || index < stretchBase_)
        return stretchStart_;
    const std::uint64_t bytes = index - stretchBase_ + 1;
    // Rounded up, so that through(throughAt(i)) already counts byte i.
    const __int128 numerator = static_cast<__int128>(bytes) * kBitsPerByte * kNanosPerSecond;
    const auto nanos = static_cast<std::int64_t>((numerator + baud_ - 1) / baud_);
    return stretchStart_ + std::chrono::nanoseconds(nanos);
}

}  // namespace gc6890::sim
