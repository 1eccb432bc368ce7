#include "service/status_format.h"

#include <cmath>
#include <nlohmann/json.hpp>

#include "platform/platform.h"
#include "service/safe_text.h"

namespace gc6890 {

namespace {

const char* yesNo(int flag)
{
    return flag ? "yes" : "no";
}

// A JSON string of text the instrument sent: valid UTF-8, control characters escaped.
std::string jsonString(const std::string& text)
{
    return jsonText(validUtf8(text));
}

// A reading as a JSON number; null when the line gave none (an infinity or NaN has no JSON
// form, and the service reads this text back as JSON).
std::string jsonNumber(float value, const char* printf)
{
    return std::isfinite(value) ? format(printf, static_cast<double>(value)) : "null";
}

std::string trimmed(const CString& text)
{
    std::string s = text.str();
    while (!s.empty() && (s.back() == '\n' || s.back() == ' '))
        s.pop_back();
    return s;
}

}  // namespace

std::string statusText(CInletSystemStatus& s)
{
    std::string text =
        format("running: %s  post-run: %s  not ready: %s  error: %s\n", yesNo(s.GetRunning()),
               yesNo(s.GetPostRunning()), yesNo(s.GetNotReady()), yesNo(s.GetError()));
    const std::pair<const char*, std::string> texts[] = {
        {"status", trimmed(s.GetStatusInfo())},
        {"not ready", trimmed(s.GetNotReadyInfo())},
        {"error", trimmed(s.GetErrorInfo())},
    };
    for (const auto& [label, value] : texts) {
        if (!value.empty())
            text += std::string(label) + ": " + value + "\n";
    }
    // Units as the GC's display shows them.
    text +=
        format("elapsed: %.2f min  oven: %.1f °C  column 1: pressure %.2f psi, flow %.2f mL/min\n",
               static_cast<double>(s.GetTime()), static_cast<double>(s.GetTemperatureLeft()),
               static_cast<double>(s.GetHighPressure()), static_cast<double>(s.GetFlow()));
    return text;
}

std::string statusLine(CInletSystemStatus& s)
{
    std::string line = format(
        "%s%s%s%s", s.GetRunning() ? "running" : "idle", s.GetPostRunning() ? ", post-run" : "",
        s.GetNotReady() ? ", not ready" : ", ready", s.GetError() ? ", error" : "");
    for (const std::string& value :
         {trimmed(s.GetStatusInfo()), trimmed(s.GetNotReadyInfo()), trimmed(s.GetErrorInfo())}) {
        if (!value.empty())
            line += " | " + value;
    }
    return line +
           format(" | %.2f min, oven %.1f °C, column 1 %.2f psi / %.2f mL/min",
                  static_cast<double>(s.GetTime()), static_cast<double>(s.GetTemperatureLeft()),
                  static_cast<double>(s.GetHighPressure()), static_cast<double>(s.GetFlow()));
}

std::string statusJson(CInletSystemStatus& s)
{
    auto flag = [](int value) { return value ? "true" : "false"; };
    return format("{\"running\":%s,\"post_running\":%s,\"not_ready\":%s,\"error\":%s,",
                  flag(s.GetRunning()), flag(s.GetPostRunning()), flag(s.GetNotReady()),
                  flag(s.GetError())) +
           "\"status_text\":" + jsonString(trimmed(s.GetStatusInfo())) +
           ",\"not_ready_text\":" + jsonString(trimmed(s.GetNotReadyInfo())) +
           ",\"error_text\":" + jsonString(trimmed(s.GetErrorInfo())) +
           ",\"elapsed_min\":" + jsonNumber(s.GetTime(), "%.4g") +
           ",\"oven_temperature\":" + jsonNumber(s.GetTemperatureLeft(), "%.4g") +
           ",\"column1_pressure\":" + jsonNumber(s.GetHighPressure(), "%.6g") +
           ",\"column1_flow\":" + jsonNumber(s.GetFlow(), "%.6g") + "}";
}

}  // namespace gc6890
