#include "lab/oven_trace.h"

namespace gc6890::lab {

void OvenTrace::add(std::int64_t timeMs, double temperature, std::uint64_t version)
{
    // Two samples of one step: the newer stands for it, and the first of the step keeps its
    // place in time, so that the trace's spacing stays even.
    if (samples_.size() >= 2 && timeMs - samples_[samples_.size() - 2].timeMs <= kStepMs)
        samples_.back() = Sample{timeMs, temperature, version};
    else
        samples_.push_back(Sample{timeMs, temperature, version});
    while (!samples_.empty() && samples_.front().timeMs < timeMs - kSpanMs)
        samples_.pop_front();
}

void OvenTrace::fillBack()
{
    if (samples_.size() != 1)
        return;
    const Sample only = samples_.front();
    for (std::int64_t t = only.timeMs - kStepMs; t > only.timeMs - kSpanMs; t -= kStepMs)
        samples_.push_front(Sample{t, only.temperature, only.version});
}

nlohmann::json OvenTrace::toJson(std::int64_t nowMs) const
{
    nlohmann::json after;
    return changesSince(0, nowMs, after);
}

nlohmann::json OvenTrace::changesSince(std::uint64_t version, std::int64_t nowMs,
                                       nlohmann::json& after) const
{
    // The versions grow along the trace: what changed is found from its end.
    auto changed = samples_.end();
    while (changed != samples_.begin() && changed[-1].version > version)
        --changed;
    after = changed == samples_.begin() ? nlohmann::json() : nlohmann::json(changed[-1].timeMs);
    nlohmann::json out = nlohmann::json::array();
    for (auto sample = changed; sample != samples_.end(); ++sample)
        if (sample->timeMs >= nowMs - kSpanMs)
            out.push_back({sample->timeMs, sample->temperature});
    return out;
}

}  // namespace gc6890::lab
