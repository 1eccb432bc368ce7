// The lab's connection to the broker: subscribes to every instrument's retained and live
// topics (gc6890/+/online, identity, status) and feeds them to the model. libmosquitto's
// thread does the network and reconnects through outages (1 s, then up to 10 s apart); on
// each connection the broker hands the retained topics again, and the model catches up.
#pragma once

#include <atomic>
#include <functional>
#include <string>

#include "lab/lab_model.h"
#include "service/mqtt_bridge.h"

struct mosquitto;
struct mosquitto_message;

namespace gc6890::lab {

class LabSubscriber {
public:
    // `options`: the broker's URL, and its user, password and CA as the service has them
    // (the MqttUser, MqttPassword(File) and MqttCaFile settings).
    // `log` hears why a connection was refused or lost.
    LabSubscriber(LabModel& model, MqttOptions options,
                  std::function<void(const std::string&)> log);
    ~LabSubscriber();
    LabSubscriber(const LabSubscriber&) = delete;
    LabSubscriber& operator=(const LabSubscriber&) = delete;

    // Starts the network thread; false with `error` when the URL or the TLS settings are
    // unusable. A broker that is not there yet is no error: it keeps trying.
    bool start(std::string& error);
    void stop();

private:
    void onConnect(int rc);
    void onMessage(const mosquitto_message& message);

    LabModel& model_;
    MqttOptions options_;
    std::function<void(const std::string&)> log_;
    mosquitto* mosq_ = nullptr;
    std::atomic<bool> running_{false};
};

}  // namespace gc6890::lab
