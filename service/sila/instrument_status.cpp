#include "service/sila/instrument_status.h"

#include <nlohmann/json.hpp>

namespace gc6890::sila {

namespace {

const char* runStateIdentifier(RunState state)
{
    switch (state) {
    case RunState::Idle:
        return "Idle";
    case RunState::PreRun:
        return "PreRun";
    case RunState::Run:
        return "Run";
    case RunState::PostRun:
        return "PostRun";
    }
    return "Idle";
}

const char* lineStateIdentifier(LineState state)
{
    switch (state) {
    case LineState::Up:
        return "Up";
    case LineState::Rebuilding:
        return "Rebuilding";
    case LineState::Down:
        return "Down";
    }
    return "Down";
}

}  // namespace

InstrumentStatus instrumentStatusOf(const Snapshot& snapshot)
{
    InstrumentStatus status;
    status.runState = runStateIdentifier(snapshot.run);
    status.lineState = lineStateIdentifier(snapshot.line);
    const nlohmann::json& body = snapshot.json;
    if (!body.is_object())
        return status;  // no poll yet
    auto text = [&body](const char* key) {
        return body.contains(key) && body[key].is_string() ? body[key].get<std::string>()
                                                           : std::string();
    };
    auto number = [&body](const char* key) {
        return body.contains(key) && body[key].is_number() ? body[key].get<double>() : 0.0;
    };
    status.ready = snapshot.line == LineState::Up && body.value("not_ready", true) == false;
    status.notReadyReason = text("not_ready_text");
    status.errorText = text("error_text");
    status.elapsedMinutes = number("elapsed_min");
    status.ovenTemperature = number("oven_temperature");
    status.column1Pressure = number("column1_pressure");
    status.column1Flow = number("column1_flow");
    status.column2Pressure = number("column2_pressure");
    status.column2Flow = number("column2_flow");
    if (body.contains("identity") && body["identity"].is_object()) {
        const nlohmann::json& identity = body["identity"];
        status.firmware = identity.value("firmware", "");
        status.hardware = identity.contains("hardware") && identity["hardware"].is_string()
                              ? identity["hardware"].get<std::string>()
                              : std::string();
    }
    return status;
}

}  // namespace gc6890::sila
