#include "lab/lab_instrument.h"

#include "platform/enum_names.h"
#include "station/safe_text.h"

namespace gc6890::lab {

using nlohmann::json;

namespace {

bool flag(const json& object, const char* key)
{
    const auto found = object.is_object() ? object.find(key) : object.end();
    return object.is_object() && found != object.end() && found->is_boolean() && found->get<bool>();
}

json field(const json& object, const char* key)
{
    return object.is_object() ? object.value(key, json()) : json();
}

}  // namespace

const char* conditionName(Condition condition)
{
    static constexpr EnumNames kNames(
        {"offline", "line_down", "error", "sequence_paused", "not_ready"}, Condition::NotReady);
    return kNames(condition);
}

void LabInstrument::takeOnline(bool now, std::int64_t nowMs)
{
    online = now;
    follow(nowMs);
}

void LabInstrument::takeIdentity(json value)
{
    identity = std::move(value);
}

void LabInstrument::takeStatus(json value, std::int64_t nowMs)
{
    status = std::move(value);
    statusReceivedMs = nowMs;
    const json oven = field(status, "oven_temperature");
    if (oven.is_number() && textField(status, "line") == "up")
        this->oven.add(nowMs, oven.get<double>(), version);
    follow(nowMs);
}

bool LabInstrument::holds(Condition condition) const
{
    if (condition == Condition::Offline)
        return !online;
    if (!online)
        return false;
    switch (condition) {
    case Condition::LineDown:
        return textField(status, "line") == "down";
    case Condition::Error:
        return flag(status, "error");
    case Condition::SequencePaused:
        return textField(field(status, "sequence"), "state") == "paused";
    case Condition::NotReady:
        return flag(status, "not_ready");
    case Condition::Offline:
        break;
    }
    return false;
}

void LabInstrument::follow(std::int64_t nowMs)
{
    for (int c = 0; c < kConditions; ++c) {
        if (!holds(static_cast<Condition>(c)))
            since[c].reset();
        else if (!since[c])
            since[c] = nowMs;
    }
}

std::string LabInstrument::alertText(Condition condition, std::int64_t nowMs) const
{
    const auto withReason = [](std::string what, const std::string& reason) {
        return reason.empty() ? what : what + ": " + reason;
    };
    switch (condition) {
    case Condition::Offline:
        return "offline";
    case Condition::LineDown:
        return withReason("the line is down", textField(status, "line_reason"));
    case Condition::Error:
        return withReason("error", textField(status, "error_text"));
    case Condition::SequencePaused: {
        const json sequence = field(status, "sequence");
        return withReason("the sequence " + textField(sequence, "id") + " is paused",
                          textField(sequence, "reason"));
    }
    case Condition::NotReady: {
        const std::int64_t minutes = since[static_cast<int>(condition)]
                                         ? (nowMs - *since[static_cast<int>(condition)]) / 60000
                                         : 0;
        return withReason("not ready for " + std::to_string(minutes) + " min",
                          textField(status, "not_ready_text"));
    }
    }
    return "";
}

json LabInstrument::ageMs(std::int64_t nowMs) const
{
    // The service sends whole milliseconds. Anything else a publisher may send (a fraction, a
    // number past 64 bits, an age that cannot be counted on) is shown as unknown: converting
    // it to an integer would be undefined.
    const std::optional<std::int64_t> age = wholeField(status, "age_ms");
    std::int64_t shown = 0;
    if (!age || __builtin_add_overflow(*age, nowMs - statusReceivedMs, &shown))
        return nullptr;
    return shown;
}

json LabInstrument::toJson(std::int64_t nowMs) const
{
    json out = record(nowMs);
    out["oven"] = oven.toJson(nowMs);
    return out;
}

json LabInstrument::changeJson(std::int64_t nowMs, std::uint64_t since) const
{
    json out = record(nowMs);
    json after;
    out["oven"] = oven.changesSince(since, nowMs, after);
    out["oven_after"] = std::move(after);
    return out;
}

json LabInstrument::record(std::int64_t nowMs) const
{
    const double elapsed =
        field(status, "elapsed_min").is_number() ? status["elapsed_min"].get<double>() : 0.0;
    const nlohmann::json length = field(status, "run_length_min");
    const std::string runState = textField(status, "run_state");
    // Progress and time left while the GC runs a method whose length is known.
    nlohmann::json progress = nullptr;
    nlohmann::json left = nullptr;
    if (runState == "run" && length.is_number() && length.get<double>() > 0) {
        const double total = length.get<double>();
        progress = std::min(1.0, std::max(0.0, elapsed / total));
        left = std::max(0.0, total - elapsed);
    }
    return {{"name", name},
            {"online", online},
            {"line", textField(status, "line")},
            {"line_reason", textField(status, "line_reason")},
            {"age_ms", ageMs(nowMs)},
            {"run_state", runState},
            {"elapsed_min", elapsed},
            {"run_length_min", length},
            {"progress", progress},
            {"time_left_min", left},
            {"not_ready", flag(status, "not_ready")},
            {"not_ready_text", textField(status, "not_ready_text")},
            {"error", flag(status, "error")},
            {"error_text", textField(status, "error_text")},
            {"oven_temperature", field(status, "oven_temperature")},
            {"vial", field(status, "vial")},
            {"method", field(status, "method")},
            {"sequence", field(status, "sequence")},
            {"url", field(identity, "url")}};
}

}  // namespace gc6890::lab
