// An instrument's oven temperature over the last hour, for the lab page's sparkline: at
// most one sample per 10 s (a newer one within that replaces the last), older than an
// hour dropped, so that a status every few hundred milliseconds costs 360 samples at most.
// Each sample carries the lab model's version when it was written, so that a page that has
// the trace as of one version is sent only what was written since.
#pragma once

#include <cstdint>
#include <deque>
#include <nlohmann/json.hpp>

namespace gc6890::lab {

class OvenTrace {
public:
    static constexpr std::int64_t kSpanMs = 3600 * 1000;
    static constexpr std::int64_t kStepMs = 10 * 1000;

    void add(std::int64_t timeMs, double temperature, std::uint64_t version);
    // [[time_ms, temperature], ...], oldest first, of the hour before `nowMs`.
    nlohmann::json toJson(std::int64_t nowMs) const;
    // The samples written after `version`, oldest first, and in `after` the time of the last
    // sample before them (null when all are new). Only the newest sample is ever rewritten,
    // so what changed is always the trace's end: a page that had the trace as of `version`
    // drops its samples later than `after` and appends these.
    nlohmann::json changesSince(std::uint64_t version, std::int64_t nowMs,
                                nlohmann::json& after) const;
    // Repeats the only sample back over the hour before it, a step apart, so that a lab
    // service measured by a benchmark has a full hour at once (GC6890_LAB_OVEN_BACKFILL).
    void fillBack();
    std::size_t size() const { return samples_.size(); }

private:
    struct Sample {
        std::int64_t timeMs;
        double temperature;
        std::uint64_t version;
    };
    std::deque<Sample> samples_;
};

}  // namespace gc6890::lab
