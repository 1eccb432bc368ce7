#include "settings_keys.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "external/port_settings.h"

namespace gc6890::cli {

namespace {

bool parseWhole(const std::string& text, long& value)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text.c_str(), &end, 10);
    return *end == '\0' && errno == 0 && value >= INT_MIN && value <= INT_MAX;
}

std::string wholeInRange(const std::string& text, long min, long max, const char* unit,
                         std::string& problem)
{
    long value = 0;
    if (!parseWhole(text, value)) {
        problem = "\"" + text + "\" is not a whole number";
        return {};
    }
    if (value < min || value > max) {
        problem = std::to_string(value) + " is outside " + std::to_string(min) + " to " +
                  std::to_string(max) + unit;
        return {};
    }
    return std::to_string(value);
}

enum class Unit { None, Ms, Bytes };

// A whole number from Min to Max, the unit named in the problem: a checker for the table.
template <long Min, long Max, Unit U = Unit::None>
std::string whole(const std::string& text, std::string& problem)
{
    constexpr const char* unit = U == Unit::Ms ? " ms" : U == Unit::Bytes ? " bytes" : "";
    return wholeInRange(text, Min, Max, unit, problem);
}

std::string oneOf(const std::string& text, std::initializer_list<const char*> choices, bool upper,
                  std::string& problem)
{
    std::string value = text;
    std::transform(value.begin(), value.end(), value.begin(), [upper](unsigned char c) {
        return static_cast<char>(upper ? std::toupper(c) : std::tolower(c));
    });
    std::string list;
    for (const char* choice : choices) {
        if (value == choice)
            return value;
        list += list.empty() ? "" : ", ";
        list += choice;
    }
    problem = "\"" + text + "\" is not one of " + list;
    return {};
}

std::string device(const std::string& text, std::string& problem)
{
    if (text == "sim" || (text.size() > 1 && text[0] == '/'))
        return text;
    problem = "\"" + text + "\" is neither sim nor a device path such as /dev/ttyUSB0";
    return {};
}

std::string folder(const std::string& text, std::string& problem)
{
    if (text.size() > 1 && text[0] == '/')
        return text;
    problem = "\"" + text + "\" is not an absolute folder path";
    return {};
}

std::string filePath(const std::string& text, std::string& problem)
{
    if (text.size() > 1 && text[0] == '/')
        return text;
    problem = "\"" + text + "\" is not an absolute file path";
    return {};
}

std::string baudRate(const std::string& text, std::string& problem)
{
    const std::string value = wholeInRange(text, 1, INT_MAX, "", problem);
    if (value.empty())
        return {};
    PortSettings settings;
    settings.baudRate = std::atoi(value.c_str());
    problem = validatePortSettings(settings);
    return problem.empty() ? value : std::string();
}

const std::vector<SettingKey> kKeys = {
    {"Port", "Inlets\\Hubrel\\Varnock\\Port", "sim",
     "serial device of the instrument; sim runs the built-in simulator", device},
    {"BaudRate", "Inlets\\Hubrel\\Varnock\\BaudRate", "9600", "line speed, bits per second",
     baudRate},
    {"DataBits", "Inlets\\Hubrel\\Varnock\\DataBits", "8", "data bits per character", whole<5, 8>},
    {"Parity", "Inlets\\Hubrel\\Varnock\\Parity", "N", "parity: N none, E even, O odd",
     [](const std::string& v, std::string& p) {
         return oneOf(v, {"N", "E", "O"}, true, p);
     }},
    {"StopBits", "Inlets\\Hubrel\\Varnock\\StopBits", "1", "stop bits", whole<1, 2>},
    {"FlowControl", "Inlets\\Hubrel\\Varnock\\FlowControl", "none",
     "flow control: none, rtscts or xonxoff",
     [](const std::string& v, std::string& p) {
         return oneOf(v, {"none", "rtscts", "xonxoff"}, false, p);
     }},
    {"EndOfDataChar", "Inlets\\Hubrel\\Varnock\\EndOfDataChar", "10",
     "character code that ends a reply line (10 is line feed)", whole<1, 255>},
    {"Timeout", "Inlets\\Hubrel\\Varnock\\Timeout", "45000", "longest wait for a reply line, ms",
     whole<1, 600000, Unit::Ms>},
    {"RTSControl", "Inlets\\Hubrel\\Varnock\\RTSControl", "0", "RTS line setting of the port",
     whole<0, 1>},
    {"DefaultSettings", "Inlets\\Hubrel\\Varnock\\Communications\\DefaultSettings", "TRUE",
     "TRUE: the next start stores the default line ending, time-out and RTS setting once",
     [](const std::string& v, std::string& p) {
         return oneOf(v, {"TRUE", "FALSE"}, true, p);
     }},
    {"IgnoreSeverityLevel", "Inlets\\Hubrel\\Varnock\\IgnoreSeverityLevel", "1",
     "comms log detail: 1 failures and instrument messages, 2 every line; 0 no log", whole<0, 2>},
    {"MaxLogSize", "Inlets\\Hubrel\\Varnock\\MaxLogSize", "10485760",
     "comms log size in bytes above which a start offers a backup",
     whole<1024, INT_MAX, Unit::Bytes>},
    {"MethodRetry", "Inlets\\Hubrel\\Varnock\\MethodRetry", "2",
     "attempts at reading the GC's method during a download", whole<1, 100>},
    {"FailureSleep", "Inlets\\Hubrel\\Varnock\\FailureSleep", "1000",
     "pause before another attempt at reading the GC's method, ms", whole<0, 60000, Unit::Ms>},
    {"AutoPrepRun", "Inlets\\Hubrel\\Varnock\\AutoPrepRun", "0 for the GC, 1 for the sampler",
     "1 when the GC prepares itself for runs; 0 makes the sampler send prepare-run after an "
     "injection",
     whole<0, 1>},
    {"StatusFrequency", "Inlets\\Hubrel\\System Timings\\Status Frequency", "5500",
     "status refresh of status --watch and run, ms (at most 5500)", whole<100, 5500, Unit::Ms>},
    {"MethodFolder", "Inlets\\Hubrel\\Varnock\\MethodFolder", "$GC6890_HOME/methods",
     "folder in which a bare method name is looked up", folder},
    {"Service", "Inlets\\Hubrel\\Varnock\\Service", "",
     "http://HOST:PORT or https://HOST:PORT of a gc6890 serve that the instrument commands go "
     "through",
     [](const std::string& v, std::string& p) {
         if (!v.empty() && v.rfind("http://", 0) != 0 && v.rfind("https://", 0) != 0)
             p = "the service is http://HOST:PORT or https://HOST:PORT";
         return p.empty() ? v : std::string();
     }},
    {"ServiceCaFile", "Inlets\\Hubrel\\Varnock\\ServiceCaFile", "the system's CAs",
     "CA certificate that signed an https:// Service's", filePath},
    {"Token", "Inlets\\Hubrel\\Varnock\\Token", "",
     "the service's token (gc6890 serve --show-token)",
     [](const std::string& v, std::string&) { return v; }},
    {"MqttUser", "Inlets\\Hubrel\\Service\\MqttUser", "(none)",
     "user name the service gives the MQTT broker (serve --mqtt)",
     [](const std::string& v, std::string&) { return v; }},
    {"MqttPassword", "Inlets\\Hubrel\\Service\\MqttPassword", "(none)",
     "password the service gives the MQTT broker; MqttPasswordFile keeps it out of the settings",
     [](const std::string& v, std::string&) { return v; }},
    {"MqttPasswordFile", "Inlets\\Hubrel\\Service\\MqttPasswordFile", "(none)",
     "file whose first line is the MQTT broker's password", filePath},
    {"MqttCaFile", "Inlets\\Hubrel\\Service\\MqttCaFile", "the system's CAs",
     "CA certificate that signed the broker's, for mqtts://", filePath},
    {"MqttQueue", "Inlets\\Hubrel\\Service\\MqttQueue", "1000",
     "events the service keeps while the MQTT broker is away; older ones are counted lost",
     whole<1, 1000000>},
};

}  // namespace

const std::vector<SettingKey>& settingKeys()
{
    return kKeys;
}

const SettingKey* findSettingKey(const std::string& name)
{
    for (const SettingKey& key : kKeys) {
        if (name.size() == std::string_view(key.name).size() &&
            std::equal(name.begin(), name.end(), key.name, [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) ==
                       std::tolower(static_cast<unsigned char>(b));
            }))
            return &key;
    }
    return nullptr;
}

}  // namespace gc6890::cli
