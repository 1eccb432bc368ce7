#include "lab/lab_metrics.h"

#include <cstdio>

namespace gc6890::lab {

namespace {

using nlohmann::json;

// A label's value as the exposition format wants it: \, " and newline escaped.
std::string labelValue(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c == '\n' ? std::string("\\n") : std::string(1, c);
    }
    return out;
}

struct Series {
    const char* name;
    const char* help;
};

constexpr Series kUp{"gc6890_lab_up", "1 while the instrument's service is on the broker"};
constexpr Series kLineUp{"gc6890_lab_line_up", "1 while the service reaches its GC (line up)"};
constexpr Series kRunState{"gc6890_lab_run_state",
                           "1 for the GC's run state (idle, pre-run, run, post-run)"};
constexpr Series kNotReady{"gc6890_lab_not_ready", "1 while the GC says it is not ready"};
constexpr Series kError{"gc6890_lab_error", "1 while the GC reports an error"};
constexpr Series kPaused{"gc6890_lab_sequence_paused", "1 while a sequence is paused"};
constexpr Series kAge{"gc6890_lab_status_age_seconds",
                      "the age of the instrument's last status (published at least every 10 s)"};

}  // namespace

std::string labMetrics(LabModel& model, std::int64_t nowMs)
{
    const std::map<std::string, LabInstrument> instruments = model.instruments(nowMs);
    std::string out;
    const auto head = [&out](const Series& series) {
        out += std::string("# HELP ") + series.name + " " + series.help + "\n# TYPE " +
               series.name + " gauge\n";
    };
    const auto line = [&out](const Series& series, const std::string& labels, double value) {
        char number[32];
        std::snprintf(number, sizeof number, "%.3f", value);
        std::string text = number;
        text.erase(text.find_last_not_of('0') + 1);
        if (text.back() == '.')
            text.pop_back();
        out += std::string(series.name) + "{" + labels + "} " + text + "\n";
    };
    const auto each = [&](const Series& series, const auto& value) {
        head(series);
        for (const auto& [name, instrument] : instruments)
            value(series, "instrument=\"" + labelValue(name) + "\"", instrument);
    };
    each(kUp, [&](const Series& s, const std::string& l, const LabInstrument& i) {
        line(s, l, i.online ? 1 : 0);
    });
    // What a status said is shown only while the instrument is online: an offline one's
    // last status is no longer true, and its series would otherwise look fine.
    const auto flag = [](const LabInstrument& i, Condition condition) {
        return i.holds(condition) ? 1 : 0;
    };
    each(kLineUp, [&](const Series& s, const std::string& l, const LabInstrument& i) {
        if (i.online && i.status.is_object())
            line(s, l, i.status.value("line", "") == "up" ? 1 : 0);
    });
    each(kRunState, [&](const Series& s, const std::string& l, const LabInstrument& i) {
        if (!i.online || !i.status.is_object())
            return;
        const std::string state = i.status.value("run_state", "");
        for (const char* name : {"idle", "pre-run", "run", "post-run"})
            line(s, l + ",state=\"" + name + "\"", state == name ? 1 : 0);
    });
    each(kNotReady, [&](const Series& s, const std::string& l, const LabInstrument& i) {
        if (i.online && i.status.is_object())
            line(s, l, flag(i, Condition::NotReady));
    });
    each(kError, [&](const Series& s, const std::string& l, const LabInstrument& i) {
        if (i.online && i.status.is_object())
            line(s, l, flag(i, Condition::Error));
    });
    each(kPaused, [&](const Series& s, const std::string& l, const LabInstrument& i) {
        if (i.online && i.status.is_object())
            line(s, l, flag(i, Condition::SequencePaused));
    });
    each(kAge, [&](const Series& s, const std::string& l, const LabInstrument& i) {
        const json age = i.ageMs(nowMs);
        if (i.online && age.is_number())
            line(s, l, static_cast<double>(age.get<std::int64_t>()) / 1000.0);
    });
    out += "# HELP gc6890_lab_broker_connected 1 while the lab is connected to the broker\n"
           "# TYPE gc6890_lab_broker_connected gauge\n"
           "gc6890_lab_broker_connected " +
           std::string(model.brokerConnected() ? "1" : "0") + "\n";
    out += "# HELP gc6890_lab_ignored_total messages on the broker that were not the lab's\n"
           "# TYPE gc6890_lab_ignored_total counter\n"
           "gc6890_lab_ignored_total " +
           std::to_string(model.ignored()) + "\n";
    return out;
}

}  // namespace gc6890::lab
