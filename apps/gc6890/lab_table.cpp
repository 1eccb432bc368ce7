#include "lab_table.h"

#include <cstdio>

namespace gc6890::cli {

namespace {

using nlohmann::json;

std::string text(const json& object, const char* key, const char* none = "-")
{
    const json value = object.value(key, json());
    if (value.is_string() && !value.get<std::string>().empty())
        return value.get<std::string>();
    if (value.is_number_integer())
        return std::to_string(value.get<long long>());
    return none;
}

std::string format(const char* pattern, double value)
{
    char out[32];
    std::snprintf(out, sizeof out, pattern, value);
    return out;
}

// "run 25% 4.5 min left", "idle".
std::string run(const json& instrument)
{
    std::string out = text(instrument, "run_state");
    if (instrument.value("progress", json()).is_number())
        out += " " + format("%.0f%%", instrument["progress"].get<double>() * 100) + " " +
               format("%.1f", instrument.value("time_left_min", 0.0)) + " min left";
    return out;
}

// "row 2/3 inj 3/4 paused".
std::string sequence(const json& instrument)
{
    const json s = instrument.value("sequence", json());
    if (!s.is_object())
        return "-";
    std::string out;
    if (s.value("row", json()).is_number())
        out = "row " + text(s, "row") + "/" + text(s, "rows") + " inj " + text(s, "injection") +
              "/" + text(s, "injections") + " ";
    return out + text(s, "state");
}

}  // namespace

std::string labTable(const json& lab)
{
    std::string out;
    const auto line = [&out](const std::string& name, const std::string& online,
                             const std::string& lineState, const std::string& age,
                             const std::string& runState, const std::string& ready,
                             const std::string& oven, const std::string& vial,
                             const std::string& method, const std::string& seq,
                             const std::string& error) {
        char row[512];
        std::snprintf(row, sizeof row, "%-14s %-7s %-10s %6s  %-22s %-20s %6s %5s %-12s %-24s %s",
                      name.c_str(), online.c_str(), lineState.c_str(), age.c_str(),
                      runState.c_str(), ready.c_str(), oven.c_str(), vial.c_str(), method.c_str(),
                      seq.c_str(), error.c_str());
        std::string trimmed = row;
        trimmed.erase(trimmed.find_last_not_of(' ') + 1);
        out += trimmed + "\n";
    };
    if (!lab.value("broker", json::object()).value("connected", false))
        out += "the broker is away: the lab as it was " + text(lab["broker"], "since", "before") +
               "\n";
    line("NAME", "ONLINE", "LINE", "AGE", "RUN", "READY", "OVEN", "VIAL", "METHOD", "SEQUENCE",
         "ERROR");
    for (const json& i : lab.value("instruments", json::array())) {
        if (!i.value("online", false)) {
            line(text(i, "name"), "OFFLINE", "", "", "", "", "", "", "", "", "");
            continue;
        }
        const json age = i.value("age_ms", json());
        const json oven = i.value("oven_temperature", json());
        line(text(i, "name"), "online", text(i, "line"),
             age.is_number() ? format("%.1fs", age.get<double>() / 1000) : "-", run(i),
             i.value("not_ready", false) ? "not ready: " + text(i, "not_ready_text", "") : "ready",
             oven.is_number() ? format("%.1f", oven.get<double>()) : "-", text(i, "vial"),
             text(i, "method"), sequence(i),
             i.value("error", false) ? "error: " + text(i, "error_text", "") : "");
    }
    const json alerts = lab.value("alerts", json::array());
    out += alerts.empty() ? "\nNothing needs a person.\n" : "\nNeeds a person (newest first):\n";
    for (const json& a : alerts)
        out +=
            "  " + text(a, "time") + "  " + text(a, "instrument") + "  " + text(a, "text") + "\n";
    return out;
}

}  // namespace gc6890::cli
