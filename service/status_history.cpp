#include "service/status_history.h"

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

std::vector<HistorySample> StatusHistory::since(std::int64_t fromMs) const
{
    std::lock_guard lock(mutex_);
    std::vector<HistorySample> samples;
    const std::size_t first = (next_ + ring_.size() - count_) % ring_.size();
    for (std::size_t i = 0; i < count_; ++i) {
        const HistorySample& sample = ring_[(first + i) % ring_.size()];
        if (sample.timeMs >= fromMs)
            samples.push_back(sample);
    }
    return samples;
}

}  // namespace gc6890
