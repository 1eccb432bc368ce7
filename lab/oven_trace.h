// An instrument's oven temperature over the last hour, for the lab page's sparkline: at
// most one sample per 10 s (a newer one within that replaces the last), older than an
// hour dropped, so that a status every few hundred milliseconds costs 360 samples at most.
#pragma once

#include <cstdint>
#include <deque>
#include <nlohmann/json.hpp>

namespace gc6890::lab {

class OvenTrace {
public:
    static constexpr std::int64_t kSpanMs = 3600 * 1000;
    static constexpr std::int64_t kStepMs = 10 * 1000;

    void add(std::int64_t timeMs, double temperature);
    // [[time_ms, temperature], ...], oldest first, of the hour before `nowMs`.
    nlohmann::json toJson(std::int64_t nowMs) const;
    std::size_t size() const { return samples_.size(); }

private:
    struct Sample {
        std::int64_t timeMs;
        double temperature;
    };
    std::deque<Sample> samples_;
};

}  // namespace gc6890::lab
