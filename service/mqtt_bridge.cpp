#include "service/mqtt_bridge.h"

#include <mosquitto.h>

#include <fcntl.h>

#include <fstream>
#include <iostream>
#include <mutex>
#include <nlohmann/json.hpp>

#include "platform/settings_store.h"
#include "service/job_requests.h"
#include "service/safe_text.h"

namespace gc6890 {

namespace {

using nlohmann::json;

// At most this many messages handed to libmosquitto and not yet acknowledged by the
// broker, so that its own queue stays bounded too.
constexpr int kMaxInflight = 100;
// The status goes out at least this often, even when nothing in it changed.
constexpr std::int64_t kStatusEveryMs = 10000;
constexpr int kKeepAliveS = 10;
// Reconnect after 1 s, then 4 s, 9 s, ... at most 10 s apart.
constexpr unsigned kReconnectMinS = 1;
constexpr unsigned kReconnectMaxS = 10;

constexpr const char* kSettings = "Inlets\\Hubrel\\Service\\";

std::string setting(const char* name)
{
    std::string value;
    SettingsStore().readText(std::string(kSettings) + name, value);
    return value;
}

// What a status reports, its time, age and poll count aside.
std::string statusKey(const std::string& status)
{
    json object = json::parse(status, nullptr, false);
    if (!object.is_object())
        return status;
    object.erase("time");
    object.erase("age_ms");
    object.erase("polls");
    return jsonText(object);
}

}  // namespace

bool parseMqttUrl(const std::string& url, MqttAddress& address, std::string& error)
{
    std::string rest;
    if (url.rfind("mqtt://", 0) == 0) {
        rest = url.substr(7);
        address = MqttAddress{{}, 1883, false};
    } else if (url.rfind("mqtts://", 0) == 0) {
        rest = url.substr(8);
        address = MqttAddress{{}, 8883, true};
    } else {
        error = "--mqtt wants mqtt://HOST[:PORT] or mqtts://HOST[:PORT], not " + url;
        return false;
    }
    if (!rest.empty() && rest.back() == '/')
        rest.pop_back();
    const std::size_t colon = rest.rfind(':');
    const bool bracketed = !rest.empty() && rest.front() == '[';
    if (colon != std::string::npos && (!bracketed || rest.rfind(']') < colon)) {
        const std::string port = rest.substr(colon + 1);
        rest = rest.substr(0, colon);
        char* end = nullptr;
        const long value = std::strtol(port.c_str(), &end, 10);
        if (port.empty() || *end != '\0' || value < 1 || value > 65535) {
            error = "--mqtt: the port must be a number from 1 to 65535, not " + port;
            return false;
        }
        address.port = static_cast<int>(value);
    }
    if (bracketed && rest.size() > 2 && rest.back() == ']')
        rest = rest.substr(1, rest.size() - 2);
    if (rest.empty() || rest.find_first_of("/@?#") != std::string::npos) {
        error = "--mqtt: no host in " + url;
        return false;
    }
    address.host = rest;
    return true;
}

mosquitto* makeMqttClient(const MqttOptions& options, const std::string& clientId, void* self,
                          std::string& error)
{
    MqttAddress address;
    if (!parseMqttUrl(options.url, address, error))
        return nullptr;
    static std::once_flag initialised;
    std::call_once(initialised, [] { mosquitto_lib_init(); });
    mosquitto* client = mosquitto_new(clientId.c_str(), true, self);
    if (!client) {
        error = "cannot make an MQTT client";
        return nullptr;
    }
    mosquitto_reconnect_delay_set(client, kReconnectMinS, kReconnectMaxS, true);
    if (!options.user.empty())
        mosquitto_username_pw_set(client, options.user.c_str(),
                                  options.password.empty() ? nullptr : options.password.c_str());
    const char* caFile = options.caFile.empty() ? nullptr : options.caFile.c_str();
    if (address.tls && mosquitto_tls_set(client, caFile, caFile ? nullptr : "/etc/ssl/certs",
                                         nullptr, nullptr, nullptr) != MOSQ_ERR_SUCCESS) {
        error = "cannot use the CA file " + options.caFile + " (MqttCaFile) for " + options.url;
        mosquitto_destroy(client);
        return nullptr;
    }
    return client;
}

bool readMqttSettings(MqttOptions& options, std::string& error)
{
    options.user = setting("MqttUser");
    options.password = setting("MqttPassword");
    const std::string file = setting("MqttPasswordFile");
    if (options.password.empty() && !file.empty()) {
        std::ifstream in(file);
        if (!in || !std::getline(in, options.password)) {
            error = "cannot read the broker's password from " + file + " (MqttPasswordFile)";
            return false;
        }
    }
    options.caFile = setting("MqttCaFile");
    int queue = options.queue;
    if (SettingsStore().readInt(std::string(kSettings) + "MqttQueue", queue) && queue > 0)
        options.queue = queue;
    return true;
}

MqttBridge::MqttBridge(ServiceState& state, MqttOptions options, MethodStore methods)
    : state_(state), options_(std::move(options)), prefix_("gc6890/" + state.options.name + "/"),
      failures_(state.events, state.metrics.mqttFailures, "mqtt"),
      commands_(
          prefix_, options_.commands, std::move(methods),
          // The broker is no place to read from without a token: its reads are its own.
          [this](const std::string& token, Action action) {
              return state_.accounts.admit(token, action, false);
          },
          [this](const JobRequest& request) { return submitJob(state_, request); },
          [this](const std::string& text) { log(text); }, &state.audit)
{}

MqttBridge::~MqttBridge()
{
    stop();
    if (mosq_)
        mosquitto_destroy(mosq_);
}

bool MqttBridge::start(std::string& error)
{
    MqttAddress address;
    if (!parseMqttUrl(options_.url, address, error))
        return false;
    const std::string& name = state_.options.name;
    if (name.empty() || name.find_first_of("/+#") != std::string::npos) {
        error =
            "--name must be given and hold no /, + or # to be a topic level, not \"" + name + "\"";
        return false;
    }
    mosq_ = makeMqttClient(options_, "gc6890-" + name, this, error);
    if (!mosq_)
        return false;
    // No exception leaves a callback into libmosquitto's C code.
    mosquitto_connect_callback_set(mosq_, [](mosquitto*, void* self, int rc) {
        auto* bridge = static_cast<MqttBridge*>(self);
        bridge->failures_.run("the broker's connection callback", [&] { bridge->onConnect(rc); });
    });
    mosquitto_disconnect_callback_set(mosq_, [](mosquitto*, void* self, int rc) {
        auto* bridge = static_cast<MqttBridge*>(self);
        bridge->failures_.run("the broker's disconnection callback",
                              [&] { bridge->onDisconnect(rc); });
    });
    mosquitto_publish_callback_set(mosq_, [](mosquitto*, void* self, int) {
        auto& inflight = static_cast<MqttBridge*>(self)->inflight_;
        int now = inflight.load();
        while (now > 0 && !inflight.compare_exchange_weak(now, now - 1)) {
        }
    });
    mosquitto_message_callback_set(mosq_, [](mosquitto*, void* self,
                                             const mosquitto_message* message) {
        auto* bridge = static_cast<MqttBridge*>(self);
        bridge->failures_.run("a message from the broker", [&] { bridge->onMessage(*message); });
    });
    const std::string online = prefix_ + "online";
    mosquitto_will_set(mosq_, online.c_str(), 5, "false", 1, true);
    if (options_.commands && options_.user.empty())
        log(std::string("warning: --mqtt-commands on a broker joined without a user") +
            (address.tls ? "" : " over plain mqtt://") +
            ": anyone who can reach the broker can command the instrument, unless the "
            "broker's own access control says otherwise (MqttUser and an ACL, docs/mqtt.md)");
    state_.metrics.mqttConnected = 0;
    // A broker not there yet is no error: libmosquitto's thread keeps trying.
    const int rc = mosquitto_connect_async(mosq_, address.host.c_str(), address.port, kKeepAliveS);
    if (rc != MOSQ_ERR_SUCCESS)
        log("the broker " + options_.url + " is not reachable yet (" +
            (rc == MOSQ_ERR_ERRNO ? std::string(std::strerror(errno)) : mosquitto_strerror(rc)) +
            "); trying again");
    if (mosquitto_loop_start(mosq_) != MOSQ_ERR_SUCCESS) {
        error = "cannot start the MQTT client's thread";
        return false;
    }
    thread_ = std::thread([this] { pump(); });
    return true;
}

void MqttBridge::stop()
{
    if (!thread_.joinable())
        return;
    stopping_ = true;
    thread_.join();
    // A clean end says so itself; the last will is for deaths.
    if (state_.metrics.mqttConnected == 1)
        mosquitto_publish(mosq_, nullptr, (prefix_ + "online").c_str(), 5, "false", 1, true);
    mosquitto_disconnect(mosq_);
    mosquitto_loop_stop(mosq_, state_.metrics.mqttConnected != 1);
}

void MqttBridge::pump()
{
    std::unique_ptr<EventHub::Subscription> subscription = state_.events.subscribe(std::nullopt);
    std::vector<Event> events;
    while (!stopping_) {
        const bool busy = state_.metrics.mqttConnected == 1 &&
                          (statusPending_ || identityPending_ || !events_.empty());
        // A failure costs the events of this turn, never the thread (and with it the service).
        failures_.run("publishing to the broker", [&] {
            if (!subscription) {
                subscription = state_.events.subscribe(std::nullopt);
                if (!subscription)
                    std::this_thread::sleep_for(std::chrono::milliseconds(500));
            } else {
                switch (subscription->next(events, busy ? 50 : 500)) {
                case EventHub::Read::Events:
                    for (const Event& event : events)
                        take(event);
                    break;
                case EventHub::Read::Dropped:
                    // Cannot happen while publishing never waits; should it, start afresh.
                    log("the broker's publisher fell behind the event backlog; events were lost");
                    ++state_.metrics.mqttLost;
                    subscription = state_.events.subscribe(std::nullopt);
                    break;
                case EventHub::Read::Closed:
                    subscription.reset();
                    stopping_ = true;
                    break;
                case EventHub::Read::Idle:
                    break;
                }
            }
            flush();
        });
    }
}

void MqttBridge::take(const Event& event)
{
    if (event.name == "status") {
        status_ = event.data;
        statusKey_ = statusKey(status_);
        if (statusKey_ != publishedKey_)
            statusPending_ = true;
        const json status = json::parse(status_, nullptr, false);
        if (status.is_object() && status.contains("identity") && status["identity"].is_object()) {
            json identity = status["identity"];
            identity["name"] = state_.options.name;
            identity["device"] = state_.options.device;
            identity["commands"] = options_.commands;
            identity["url"] = options_.publicUrl;
            std::string text = jsonText(identity);
            if (text != identity_) {
                identity_ = std::move(text);
                identityPending_ = true;
            }
        }
        return;
    }
    if (event.name != "run" && event.name != "job" && event.name != "lock" &&
        event.name != "instrument_lock" && event.name != "datablock" && event.name != "sequence")
        return;
    events_.push_back(Outgoing{prefix_ + event.name, event.data});
    // Full while the broker is away: the oldest go, so that what is kept is the latest.
    while (events_.size() > static_cast<std::size_t>(options_.queue)) {
        events_.pop_front();
        ++state_.metrics.mqttLost;
    }
}

void MqttBridge::flush()
{
    if (state_.metrics.mqttConnected != 1)
        return;
    if (republish_.exchange(false)) {
        publish(prefix_ + "online", "true", true);
        identityPending_ = !identity_.empty();
        statusPending_ = !status_.empty();
        const std::uint64_t lost = state_.metrics.mqttLost;
        if (lost > lostReported_) {
            log(std::to_string(lost - lostReported_) +
                " events could not be published while the broker was away (the MqttQueue "
                "setting keeps " +
                std::to_string(options_.queue) + ")");
            lostReported_ = lost;
        }
    }
    if (identityPending_ && publish(prefix_ + "identity", identity_, true))
        identityPending_ = false;
    if (!status_.empty() && steadyNowMs() - statusSentMs_ >= kStatusEveryMs) {
        // Nothing changed for a while (or no poll came): the status as it stands now.
        const std::optional<Job> job = state_.jobs.current();
        status_ = jsonText(
            statusObject(*state_.snapshot.get(), job ? job->toJson() : nullptr, steadyNowMs()));
        statusPending_ = true;
    }
    if (statusPending_ && inflight_ < kMaxInflight && publish(prefix_ + "status", status_, true)) {
        statusPending_ = false;
        publishedKey_ = statusKey_;
        statusSentMs_ = steadyNowMs();
    }
    while (!events_.empty() && inflight_ < kMaxInflight &&
           publish(events_.front().topic, events_.front().payload, false))
        events_.pop_front();
}

bool MqttBridge::publish(const std::string& topic, const std::string& payload, bool retain)
{
    const int rc = mosquitto_publish(mosq_, nullptr, topic.c_str(),
                                     static_cast<int>(payload.size()), payload.data(), 1, retain);
    if (rc != MOSQ_ERR_SUCCESS)
        return false;
    ++inflight_;
    ++state_.metrics.mqttPublished;
    return true;
}

void MqttBridge::onConnect(int rc)
{
    if (rc != 0) {
        log("the broker " + options_.url +
            " refused the connection: " + mosquitto_connack_string(rc));
        return;
    }
    // libmosquitto's socket is not close-on-exec: a child started later must not keep the
    // connection (and with it the last will) alive after this process dies.
    const int socket = mosquitto_socket(mosq_);
    if (socket >= 0)
        fcntl(socket, F_SETFD, fcntl(socket, F_GETFD) | FD_CLOEXEC);
    inflight_ = 0;
    republish_ = true;
    ++state_.metrics.mqttConnects;
    state_.metrics.mqttConnected = 1;
    const std::string commands = prefix_ + "cmd/+";
    mosquitto_subscribe(mosq_, nullptr, commands.c_str(), 1);
    log("connected to the broker " + options_.url + " as " + prefix_);
}

void MqttBridge::onDisconnect(int rc)
{
    state_.metrics.mqttConnected = 0;
    if (!stopping_ && rc != 0)
        log("lost the broker " + options_.url + "; reconnecting");
}

void MqttBridge::onMessage(const mosquitto_message& message)
{
    const std::string_view topic = message.topic ? message.topic : "";
    const std::string_view payload(static_cast<const char*>(message.payload),
                                   message.payload ? static_cast<std::size_t>(message.payloadlen)
                                                   : 0);
    const MqttCommands::Result result =
        commands_.handle(topic, payload, message.retain, steadyNowMs());
    if (result.outcome != MqttCommands::Outcome::NotOurs)
        ++state_.metrics.mqttCommands[static_cast<int>(result.outcome)];
    if (!result.replyTopic.empty())
        mosquitto_publish(mosq_, nullptr, result.replyTopic.c_str(),
                          static_cast<int>(result.reply.size()), result.reply.data(), 1, false);
}

void MqttBridge::log(const std::string& text)
{
    std::cerr << "gc6890 serve: " << loggable(text) << '\n';
    state_.events.log(1, "mqtt", text);
}

}  // namespace gc6890
