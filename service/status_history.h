// The readings over time for charts: a ring of fixed-size samples, one per poll, bounded
// so that a day at a 1 s poll fits (86400 samples of 32 bytes: under 3 MB).
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <nlohmann/json.hpp>
#include <vector>

namespace gc6890 {

struct HistorySample {
    std::int64_t timeMs = 0;  // Unix time
    float ovenTemperature = 0;
    float column1Pressure = 0;
    float column2Pressure = 0;
    float column1Flow = 0;
    float column2Flow = 0;
    std::int32_t runState = 0;  // RunState (snapshot.h)
};

class StatusHistory {
public:
    explicit StatusHistory(std::size_t capacity);

    void add(const HistorySample& sample);
    // The samples from `fromMs` to `toMs` (both included), oldest first.
    std::vector<HistorySample> since(std::int64_t fromMs, std::int64_t toMs = INT64_MAX) const;

private:
    mutable std::mutex mutex_;
    std::vector<HistorySample> ring_;
    std::size_t next_ = 0;
    std::size_t count_ = 0;
};

// Samples as GET /api/v1/history and the sequence results give them: one array per reading.
nlohmann::json historyJson(const std::vector<HistorySample>& samples);

}  // namespace gc6890
