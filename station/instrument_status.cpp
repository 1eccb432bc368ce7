#include "station/instrument_status.h"

#include <charconv>
#include <cmath>

#include "interface/inlet_system_status.h"
#include "station/safe_text.h"

namespace gc6890 {

namespace {

std::string trimmed(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

// The reading rounded to `digits` significant digits, whatever the locale; a whole number
// is written without a fraction, as "%g" wrote it.
template <typename Json>
Json reading(float value, int digits)
{
    char text[32];
    const auto written = std::to_chars(text, text + sizeof text, static_cast<double>(value),
                                       std::chars_format::general, digits);
    double rounded = 0.0;
    std::from_chars(text, written.ptr, rounded);
    if (!std::isfinite(rounded))
        return nullptr;
    if (std::abs(rounded) < 1e15 && rounded == std::trunc(rounded))
        return static_cast<std::int64_t>(rounded);
    return rounded;
}

}  // namespace

bool InstrumentStatus::commsFailure() const
{
    return errorText.find("SERIAL COMMS FAILURE") != std::string::npos;
}

namespace {

// Both kinds of JSON object are written here, so that text keeps the keys in their order.
template <typename Json>
void write(Json& out, const InstrumentStatus& s)
{
    out = Json{{"running", s.running},
               {"post_running", s.postRunning},
               {"not_ready", s.notReady},
               {"error", s.error},
               {"status_text", validUtf8(s.statusText)},
               {"not_ready_text", validUtf8(s.notReadyText)},
               {"error_text", validUtf8(s.errorText)},
               {"elapsed_min", reading<Json>(s.elapsedMin, 4)},
               {"oven_temperature", reading<Json>(s.ovenTemperature, 4)},
               {"column1_pressure", reading<Json>(s.column1Pressure, 6)},
               {"column1_flow", reading<Json>(s.column1Flow, 6)},
               {"run_state", runStateName(s.runState)}};
}

}  // namespace

void to_json(nlohmann::json& out, const InstrumentStatus& s)
{
    write(out, s);
}

void to_json(nlohmann::ordered_json& out, const InstrumentStatus& s)
{
    write(out, s);
}

void from_json(const nlohmann::json& in, InstrumentStatus& s)
{
    auto number = [&in](const char* key) {
        const auto found = in.find(key);
        return found != in.end() && found->is_number() ? found->get<float>() : 0.0f;
    };
    auto flag = [&in](const char* key) {
        const auto found = in.find(key);
        return found != in.end() && found->is_boolean() && found->get<bool>();
    };
    s = InstrumentStatus{};
    s.running = flag("running");
    s.postRunning = flag("post_running");
    s.notReady = flag("not_ready");
    s.error = flag("error");
    s.statusText = textField(in, "status_text");
    s.notReadyText = textField(in, "not_ready_text");
    s.errorText = textField(in, "error_text");
    s.elapsedMin = number("elapsed_min");
    s.ovenTemperature = number("oven_temperature");
    s.column1Pressure = number("column1_pressure");
    s.column1Flow = number("column1_flow");
    s.runState = runStateNamed(textField(in, "run_state")).value_or(RunState::Idle);
}

InstrumentStatus statusOfRecord(CInletSystemStatus& r)
{
    InstrumentStatus s;
    s.running = r.GetRunning() != 0;
    s.postRunning = r.GetPostRunning() != 0;
    s.notReady = r.GetNotReady() != 0;
    s.error = r.GetError() != 0;
    s.statusText = trimmed(r.GetStatusInfo().str());
    s.notReadyText = trimmed(r.GetNotReadyInfo().str());
    s.errorText = trimmed(r.GetErrorInfo().str());
    s.elapsedMin = r.GetTime();
    s.ovenTemperature = r.GetTemperatureLeft();
    s.column1Pressure = r.GetHighPressure();
    s.column1Flow = r.GetFlow();
    return s;
}

}  // namespace gc6890
