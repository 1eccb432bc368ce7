// The service on an MQTT broker: the instrument's status, identity and events published
// under gc6890/NAME/, and, when allowed, commands taken from gc6890/NAME/cmd/KIND with the
// answers on gc6890/NAME/reply/ID (docs/mqtt.md).
//
// The instrument thread never waits for the broker: the bridge reads the event hub on a
// thread of its own into a bounded queue (statuses collapse to the newest, events are kept
// up to a bound and the loss is counted) and libmosquitto's own thread does the network,
// reconnecting with back-off.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "service/contained_failures.h"
#include "service/method_store.h"
#include "service/mqtt_commands.h"
#include "service/service_state.h"

struct mosquitto;
struct mosquitto_message;

namespace gc6890 {

struct MqttOptions {
    std::string url;  // mqtt://host[:port] or mqtts://host[:port]
    bool commands = false;
    std::string user;      // "" for none
    std::string password;  // with `user`
    std::string caFile;    // mqtts: the CA that signed the broker's certificate ("": system's)
    int queue = 1000;      // events kept while the broker is away
    // Where the instrument's own dashboard is, for the retained identity's `url`.
    std::string publicUrl;
};

struct MqttAddress {
    std::string host;
    int port = 1883;
    bool tls = false;
};
// False with `error` set when `url` is not mqtt://host[:port] or mqtts://host[:port].
bool parseMqttUrl(const std::string& url, MqttAddress& address, std::string& error);

// A libmosquitto client for the broker of `options` (`self` handed to its callbacks): its
// user and password, TLS with the CA for mqtts://, reconnecting 1 s, then 4 s, 9 s, ... at
// most 10 s apart. Null with `error` set when the URL or the TLS settings are unusable.
mosquitto* makeMqttClient(const MqttOptions& options, const std::string& clientId, void* self,
                          std::string& error);

// The user, the password (MqttPassword, else the first line of MqttPasswordFile), the CA
// file and the queue bound from the settings store. False with `error` naming the file
// when the password file cannot be read.
bool readMqttSettings(MqttOptions& options, std::string& error);

class MqttBridge {
public:
    MqttBridge(ServiceState& state, MqttOptions options, MethodStore methods);
    ~MqttBridge();
    MqttBridge(const MqttBridge&) = delete;
    MqttBridge& operator=(const MqttBridge&) = delete;

    // Starts the network thread and the bridge's own; false with `error` when the URL or
    // the TLS settings are unusable. A broker that is not there yet is no error: the
    // bridge keeps trying.
    bool start(std::string& error);
    // Publishes online "false", disconnects and joins the threads.
    void stop();

private:
    struct Outgoing {
        std::string topic;
        std::string payload;
    };

    void pump();
    void take(const Event& event);
    void flush();
    bool publish(const std::string& topic, const std::string& payload, bool retain);
    void onConnect(int rc);
    void onDisconnect(int rc);
    void onMessage(const mosquitto_message& message);
    void log(const std::string& text);

    ServiceState& state_;
    MqttOptions options_;
    std::string prefix_;
    ContainedFailures failures_;  // of the callbacks and the publishing thread
    MqttCommands commands_;       // libmosquitto's thread's own  // gc6890/NAME/
    mosquitto* mosq_ = nullptr;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> republish_{false};  // set on (re)connect: the retained topics again
    std::atomic<int> inflight_{0};        // QoS 1 messages the broker has not acknowledged

    // The pump thread's own.
    std::string status_;        // the newest status, composed as the API gives it
    std::string statusKey_;     // what it reports, time and age aside
    std::string publishedKey_;  // the key last published
    std::int64_t statusSentMs_ = 0;
    bool statusPending_ = false;
    std::string identity_;  // the identity payload, once known
    bool identityPending_ = false;
    std::deque<Outgoing> events_;  // bounded: the MqttQueue setting
    std::uint64_t lostReported_ = 0;
};

}  // namespace gc6890
