// The whole lab on one screen: subscribes to every gc6890 service on a broker and prints
// one line per instrument each time one changes (docs/fleet.md).
//   lab_view [HOST [PORT]]
#include <mosquitto.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <nlohmann/json.hpp>
#include <string>

namespace {

struct Instrument {
    bool online = false;
    nlohmann::json status;
};

std::map<std::string, Instrument> g_lab;

std::string text(const nlohmann::json& value)
{
    return value.is_string() ? value.get<std::string>() : "-";
}

double number(const nlohmann::json& object, const char* key)
{
    return object.contains(key) && object[key].is_number() ? object[key].get<double>() : 0.0;
}

void print(const std::string& name, const Instrument& instrument)
{
    if (!instrument.online) {
        std::printf("%-12s OFFLINE\n", name.c_str());
    } else if (!instrument.status.is_object()) {
        std::printf("%-12s online  (no status yet)\n", name.c_str());
    } else {
        const nlohmann::json& s = instrument.status;
        const nlohmann::json job = s.value("job", nlohmann::json());
        const std::string jobText = job.is_object()
                                        ? text(job.value("kind", nlohmann::json())) + " " +
                                              text(job.value("state", nlohmann::json()))
                                        : "-";
        std::printf("%-12s online  %-5s %-9s oven %6.1f  col1 %5.1f/%4.2f  job %s\n", name.c_str(),
                    text(s.value("line", nlohmann::json())).c_str(),
                    text(s.value("run_state", nlohmann::json())).c_str(),
                    number(s, "oven_temperature"), number(s, "column1_pressure"),
                    number(s, "column1_flow"), jobText.c_str());
    }
    std::fflush(stdout);
}

void onMessage(mosquitto*, void*, const mosquitto_message* message)
{
    // gc6890/NAME/online or gc6890/NAME/status
    const std::string topic = message->topic;
    const std::size_t first = topic.find('/');
    const std::size_t last = topic.rfind('/');
    if (first == std::string::npos || last <= first)
        return;
    const std::string name = topic.substr(first + 1, last - first - 1);
    const std::string payload(static_cast<const char*>(message->payload),
                              static_cast<std::size_t>(message->payloadlen));
    Instrument& instrument = g_lab[name];
    if (topic.compare(last + 1, std::string::npos, "online") == 0) {
        instrument.online = payload == "true";
    } else {
        nlohmann::json status = nlohmann::json::parse(payload, nullptr, false);
        if (!status.is_object())
            return;
        instrument.status = std::move(status);
    }
    print(name, instrument);
}

void onConnect(mosquitto* mosq, void*, int rc)
{
    if (rc != 0) {
        std::fprintf(stderr, "lab_view: the broker refused: %s\n", mosquitto_connack_string(rc));
        return;
    }
    mosquitto_subscribe(mosq, nullptr, "gc6890/+/online", 1);
    mosquitto_subscribe(mosq, nullptr, "gc6890/+/status", 1);
}

}  // namespace

int main(int argc, char** argv)
{
    const char* host = argc > 1 ? argv[1] : "localhost";
    const int port = argc > 2 ? std::atoi(argv[2]) : 1883;
    mosquitto_lib_init();
    mosquitto* mosq = mosquitto_new(nullptr, true, nullptr);
    mosquitto_connect_callback_set(mosq, onConnect);
    mosquitto_message_callback_set(mosq, onMessage);
    if (mosquitto_connect(mosq, host, port, 30) != MOSQ_ERR_SUCCESS) {
        std::fprintf(stderr, "lab_view: cannot reach the broker at %s:%d\n", host, port);
        return 1;
    }
    // Reconnects by itself when the broker restarts; Ctrl-C ends it.
    const int rc = mosquitto_loop_forever(mosq, -1, 1);
    std::fprintf(stderr, "lab_view: %s\n", mosquitto_strerror(rc));
    mosquitto_destroy(mosq);
    mosquitto_lib_cleanup();
    return 1;
}
