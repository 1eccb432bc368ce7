#include "service/sila/instrument_status.h"

#include <nlohmann/json.hpp>

#include "platform/enum_names.h"
#include "station/safe_text.h"

namespace gc6890::sila {

namespace {

// The SiLA identifiers of the states, as the feature's constraints list them.
constexpr EnumNames kRunStateIdentifiers({"Idle", "PreRun", "Run", "PostRun"}, RunState::PostRun);

constexpr EnumNames kLineStateIdentifiers({"Up", "Rebuilding", "Down"}, LineState::Down);

}  // namespace

InstrumentStatus instrumentStatusOf(const Snapshot& snapshot)
{
    InstrumentStatus status;
    status.runState = kRunStateIdentifiers(snapshot.run);
    status.lineState = kLineStateIdentifiers(snapshot.line);
    const nlohmann::json& body = snapshot.json;
    if (!body.is_object())
        return status;  // no poll yet
    auto number = [&body](const char* key) {
        return body.contains(key) && body[key].is_number() ? body[key].get<double>() : 0.0;
    };
    status.ready = snapshot.line == LineState::Up && body.value("not_ready", true) == false;
    status.notReadyReason = textField(body, "not_ready_text");
    status.errorText = textField(body, "error_text");
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
