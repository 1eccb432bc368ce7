#include "station/status_format.h"

#include "platform/platform.h"
#include "station/safe_text.h"

namespace gc6890 {

namespace {

const char* yesNo(bool flag)
{
    return flag ? "yes" : "no";
}

}  // namespace

std::string statusText(const InstrumentStatus& s)
{
    std::string text =
        format("running: %s  post-run: %s  not ready: %s  error: %s\n", yesNo(s.running),
               yesNo(s.postRunning), yesNo(s.notReady), yesNo(s.error));
    const std::pair<const char*, const std::string&> texts[] = {
        {"status", s.statusText},
        {"not ready", s.notReadyText},
        {"error", s.errorText},
    };
    for (const auto& [label, value] : texts) {
        if (!value.empty())
            text += std::string(label) + ": " + value + "\n";
    }
    // Units as the GC's display shows them.
    text +=
        format("elapsed: %.2f min  oven: %.1f °C  column 1: pressure %.2f psi, flow %.2f mL/min\n",
               static_cast<double>(s.elapsedMin), static_cast<double>(s.ovenTemperature),
               static_cast<double>(s.column1Pressure), static_cast<double>(s.column1Flow));
    return text;
}

std::string statusLine(const InstrumentStatus& s)
{
    std::string line =
        format("%s%s%s%s", s.running ? "running" : "idle", s.postRunning ? ", post-run" : "",
               s.notReady ? ", not ready" : ", ready", s.error ? ", error" : "");
    for (const std::string* value : {&s.statusText, &s.notReadyText, &s.errorText}) {
        if (!value->empty())
            line += " | " + *value;
    }
    return line + format(" | %.2f min, oven %.1f °C, column 1 %.2f psi / %.2f mL/min",
                         static_cast<double>(s.elapsedMin), static_cast<double>(s.ovenTemperature),
                         static_cast<double>(s.column1Pressure),
                         static_cast<double>(s.column1Flow));
}

namespace {

// The text is valid UTF-8 already (to_json saw to that); a bad byte would still not throw.
std::string text(const nlohmann::ordered_json& body)
{
    return body.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace

std::string statusJson(const InstrumentStatus& status)
{
    return text(nlohmann::ordered_json(status));
}

}  // namespace gc6890
