// The simulator's own clock, in milliseconds of instrument time. A manual clock stands
// still until a test (or the in-process line) advances it; a real-time clock follows the
// machine's steady clock multiplied by a speed factor, so a 20-minute run can pass in
// seconds in the demo.
#pragma once

#include <chrono>
#include <cstdint>

namespace gc6890::sim {

class Clock {
public:
    Clock() = default;  // manual

    // A clock that runs with the steady clock, speed times faster (speed > 0).
    static Clock realTime(double speed);

    std::int64_t nowMs() const;
    void advance(std::int64_t ms);  // also allowed on a real-time clock

    bool isRealTime() const { return speed_ > 0.0; }
    double speed() const { return speed_; }

    // Real milliseconds until the instrument time `atMs` comes (0 when it has passed).
    std::int64_t realMsUntil(std::int64_t atMs) const;
    // The steady-clock moment at which the instrument time `atMs` comes (a real-time clock).
    std::chrono::steady_clock::time_point realTimeAt(std::int64_t atMs) const;

private:
    double speed_ = 0.0;
    std::chrono::steady_clock::time_point start_{};
    std::int64_t offsetMs_ = 0;
};

}  // namespace gc6890::sim
