#include "service/snapshot.h"

#include <chrono>
#include <cmath>
#include <ctime>
#include <nlohmann/json.hpp>

#include "platform/platform.h"
#include "service/safe_text.h"

namespace gc6890 {

const char* lineStateName(LineState state)
{
    switch (state) {
    case LineState::Up:
        return "up";
    case LineState::Rebuilding:
        return "rebuilding";
    case LineState::Down:
        break;
    }
    return "down";
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

std::string isoTime(std::int64_t unixMs)
{
    const std::time_t seconds = static_cast<std::time_t>(unixMs / 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    return format("%s.%03dZ", text, static_cast<int>(unixMs % 1000));
}

}  // namespace gc6890

namespace gc6890 {

std::string composeStatus(const Snapshot& snapshot, const std::string& jobJson,
                          std::int64_t nowSteadyMs)
{
    std::string body = snapshot.json.empty() ? std::string("{}") : snapshot.json;
    body.pop_back();  // the closing brace
    if (body.size() > 1)
        body += ',';
    const bool fresh = snapshot.line == LineState::Up && snapshot.timeMs != 0;
    body += format("\"line\":\"%s\",\"line_reason\":", lineStateName(snapshot.line));
    body += jsonText(snapshot.lineReason);
    body += format(",\"stale\":%s,\"age_ms\":", fresh ? "false" : "true");
    body += snapshot.timeMs == 0 ? std::string("null")
                                 : std::to_string(nowSteadyMs - snapshot.steadyMs);
    body += ",\"job\":" + jobJson + "}";
    return body;
}

}  // namespace gc6890
