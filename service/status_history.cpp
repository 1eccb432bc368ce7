#include "service/status_history.h"

#include "service/snapshot.h"

namespace gc6890 {

StatusHistory::StatusHistory(std::size_t capacity) : ring_(capacity) {}

void StatusHistory::add(const HistorySample& sample)
{
    std::lock_guard lock(mutex_);
    ring_[next_] = sample;
    next_ = (next_ + 1) % ring_.size();
    if (count_ < ring_.size())
        ++count_;
}

std::vector<HistorySample> StatusHistory::since(std::int64_t fromMs, std::int64_t toMs) const
{
    std::lock_guard lock(mutex_);
    std::vector<HistorySample> samples;
    const std::size_t first = (next_ + ring_.size() - count_) % ring_.size();
    for (std::size_t i = 0; i < count_; ++i) {
        const HistorySample& sample = ring_[(first + i) % ring_.size()];
        if (sample.timeMs >= fromMs && sample.timeMs <= toMs)
            samples.push_back(sample);
    }
    return samples;
}

nlohmann::json historyJson(const std::vector<HistorySample>& samples)
{
    nlohmann::json body;
    nlohmann::json& time = body["time_ms"] = nlohmann::json::array();
    nlohmann::json& oven = body["oven_temperature"] = nlohmann::json::array();
    nlohmann::json& p1 = body["column1_pressure"] = nlohmann::json::array();
    nlohmann::json& p2 = body["column2_pressure"] = nlohmann::json::array();
    nlohmann::json& f1 = body["column1_flow"] = nlohmann::json::array();
    nlohmann::json& f2 = body["column2_flow"] = nlohmann::json::array();
    nlohmann::json& run = body["run_state"] = nlohmann::json::array();
    for (const HistorySample& sample : samples) {
        time.push_back(sample.timeMs);
        oven.push_back(tidyReading(sample.ovenTemperature));
        p1.push_back(tidyReading(sample.column1Pressure));
        p2.push_back(tidyReading(sample.column2Pressure));
        f1.push_back(tidyReading(sample.column1Flow));
        f2.push_back(tidyReading(sample.column2Flow));
        run.push_back(runStateName(static_cast<RunState>(sample.runState)));
    }
    return body;
}

}  // namespace gc6890
