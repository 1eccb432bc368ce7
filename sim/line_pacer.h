// One direction of a serial line at a baud rate, 8N1 (ten bits a byte): bytes that enter
// the line come out of it one byte time after another, never earlier. Times are computed
// from the start of each busy stretch of the line (byte k of the stretch is through at
// start + k x byte time), so the pacing does not drift however late its user wakes up.
#pragma once

#include <chrono>
#include <cstdint>

namespace gc6890::sim {

class LinePacer {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    // baud 0: no pacing, bytes are through as soon as they enter.
    explicit LinePacer(int baud) : baud_(baud > 0 ? baud : 0) {}

    // `count` bytes enter the line at `at`; they queue behind bytes still on it.
    void enter(std::uint64_t count, TimePoint at);

    // Bytes through the line by `now`, counted since the line was made.
    std::uint64_t through(TimePoint now) const;

    // The moment byte number `index` (0-based since the line was made) is through; it must
    // have entered the line.
    TimePoint throughAt(std::uint64_t index) const;

    std::uint64_t entered() const { return entered_; }

private:
    int baud_;
    std::uint64_t entered_ = 0;
    std::uint64_t stretchBase_ = 0;  // bytes entered before the current busy stretch
    TimePoint stretchStart_{};
};

}  // namespace gc6890::sim
