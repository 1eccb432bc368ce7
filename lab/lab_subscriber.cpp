#include "lab/lab_subscriber.h"

#include <mosquitto.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "service/snapshot.h"

namespace gc6890::lab {

namespace {

constexpr const char* kTopics[] = {"gc6890/+/online", "gc6890/+/identity", "gc6890/+/status"};
constexpr int kKeepAliveS = 10;

}  // namespace

LabSubscriber::LabSubscriber(LabModel& model, MqttOptions options,
                             std::function<void(const std::string&)> log)
    : model_(model), options_(std::move(options)), log_(std::move(log))
{}

LabSubscriber::~LabSubscriber()
{
    stop();
    if (mosq_)
        mosquitto_destroy(mosq_);
}

bool LabSubscriber::start(std::string& error)
{
    MqttAddress address;
    if (!parseMqttUrl(options_.url, address, error))
        return false;
    // A client id of its own, so that several lab pages can watch one broker at once.
    const std::string id = "gc6890-lab-" + std::to_string(getpid()) + "-" +
                           std::to_string(reinterpret_cast<std::uintptr_t>(this) & 0xffff);
    mosq_ = makeMqttClient(options_, id, this, error);
    if (!mosq_)
        return false;
    // No exception leaves a callback into libmosquitto's C code: a message that cannot be
    // taken costs that message.
    mosquitto_connect_callback_set(mosq_, [](mosquitto*, void* self, int rc) {
        try {
            static_cast<LabSubscriber*>(self)->onConnect(rc);
        } catch (...) {
        }
    });
    mosquitto_disconnect_callback_set(mosq_, [](mosquitto*, void* self, int rc) {
        try {
            auto* subscriber = static_cast<LabSubscriber*>(self);
            subscriber->model_.setBrokerConnected(false, unixNowMs());
            if (rc != 0 && subscriber->running_)
                subscriber->log_("lost the broker " + subscriber->options_.url + "; reconnecting");
        } catch (...) {
        }
    });
    mosquitto_message_callback_set(mosq_, [](mosquitto*, void* self, const mosquitto_message* m) {
        try {
            static_cast<LabSubscriber*>(self)->onMessage(*m);
        } catch (...) {
        }
    });
    // A broker not there yet is no error: libmosquitto's thread keeps trying.
    mosquitto_connect_async(mosq_, address.host.c_str(), address.port, kKeepAliveS);
    if (mosquitto_loop_start(mosq_) != MOSQ_ERR_SUCCESS) {
        error = "cannot start the MQTT client's thread";
        return false;
    }
    running_ = true;
    return true;
}

void LabSubscriber::stop()
{
    if (!running_)
        return;
    running_ = false;
    mosquitto_disconnect(mosq_);
    mosquitto_loop_stop(mosq_, false);
}

void LabSubscriber::onConnect(int rc)
{
    if (rc != 0) {
        log_("the broker " + options_.url +
             " refused the connection: " + mosquitto_connack_string(rc));
        return;
    }
    // The broker hands every retained message of a new subscription: the lab as it stands.
    for (const char* topic : kTopics)
        mosquitto_subscribe(mosq_, nullptr, topic, 1);
    model_.setBrokerConnected(true, unixNowMs());
}

void LabSubscriber::onMessage(const mosquitto_message& message)
{
    const std::string_view payload(static_cast<const char*>(message.payload),
                                   message.payload ? static_cast<std::size_t>(message.payloadlen)
                                                   : 0);
    model_.take(message.topic ? message.topic : "", payload, unixNowMs());
}

}  // namespace gc6890::lab
