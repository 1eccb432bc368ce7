// A real mosquitto started by a test on a free loopback port (its own configuration in a
// temporary folder, stopped by its process id), and a subscriber on it through libmosquitto.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "arrivals.h"

struct mosquitto;

namespace gc6890::servicetest {

// A connection to `port` on the loopback address: its descriptor, -1 when refused. With
// `receiveBuffer`, the socket's receive buffer is set that small before it connects.
int connectLoopback(int port, int receiveBuffer = 0);

class Broker {
public:
    // Its configuration in `folder`; `security` holds the listener's and the broker's
    // lines on who may connect (default: anyone, in plain text).
    explicit Broker(const std::string& folder,
                    const std::string& security = "allow_anonymous true\n");
    ~Broker() { stop(); }
    Broker(const Broker&) = delete;
    Broker& operator=(const Broker&) = delete;

    // Starts mosquitto (on the same port each time) and waits, 10 s at most, until it
    // takes connections.
    bool start();
    void stop();
    int port() const { return port_; }
    std::string url(const std::string& scheme = "mqtt") const
    {
        return scheme + "://127.0.0.1:" + std::to_string(port_);
    }

private:
    std::string config_;
    int port_ = 0;
    pid_t pid_ = -1;
};

struct Message {
    std::string topic;
    std::string payload;
    bool retained = false;
};

// Who a client is on a broker with users and TLS; empty fields are left out.
struct BrokerLogin {
    std::string user;
    std::string password;
    std::string caFile;  // TLS, trusting this CA
};

class Subscriber : public Arrivals<Message> {
public:
    Subscriber(int port, const std::vector<std::string>& topics, const BrokerLogin& login = {});
    ~Subscriber();

    using Arrivals<Message>::waitFor;
    // The first message on `topic`, waiting `ms` at most.
    std::optional<Message> waitFor(const std::string& topic, int ms);
    void publish(const std::string& topic, const std::string& payload, bool retain = false);

private:
    mosquitto* mosq_ = nullptr;
    std::vector<std::string> topics_;
};

}  // namespace gc6890::servicetest
