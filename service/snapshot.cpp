#include "service/snapshot.h"

#include <chrono>
#include <cmath>
#include <ctime>

#include "platform/enum_names.h"
#include "platform/platform.h"

namespace gc6890 {

const char* lineStateName(LineState state)
{
    static constexpr EnumNames kNames({"up", "rebuilding", "down"}, LineState::Down);
    return kNames(state);
}

double tidyReading(float value)
{
    return std::round(static_cast<double>(value) * 1e4) / 1e4;
}

std::int64_t steadyNowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::int64_t unixNowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

nlohmann::json statusObject(const Snapshot& snapshot, nlohmann::json job, std::int64_t nowSteadyMs)
{
    nlohmann::json body = snapshot.json.is_object() ? snapshot.json : nlohmann::json::object();
    const bool polled = snapshot.timeMs != 0;
    body["line"] = lineStateName(snapshot.line);
    body["line_reason"] = snapshot.lineReason;
    body["stale"] = snapshot.line != LineState::Up || !polled;
    body["age_ms"] = polled ? nlohmann::json(nowSteadyMs - snapshot.steadyMs) : nullptr;
    body["job"] = std::move(job);
    return body;
}

}  // namespace gc6890
