#include "lab/oven_trace.h"

namespace gc6890::lab {

void OvenTrace::add(std::int64_t timeMs, double temperature)
{
    // Two samples of one step: the newer stands for it, and the first of the step keeps its
    // place in time, so that the trace's spacing stays even.
    if (samples_.size() >= 2 && timeMs - samples_[samples_.size() - 2].timeMs <= kStepMs)
        samples_.back() = Sample{timeMs, temperature};
    else
        samples_.push_back(Sample{timeMs, temperature});
    while (!samples_.empty() && samples_.front().timeMs < timeMs - kSpanMs)
        samples_.pop_front();
}

nlohmann::json OvenTrace::toJson(std::int64_t nowMs) const
{
    nlohmann::json out = nlohmann::json::array();
    for (const Sample& sample : samples_)
        if (sample.timeMs >= nowMs - kSpanMs)
            out.push_back({sample.timeMs, sample.temperature});
    return out;
}

}  // namespace gc6890::lab
