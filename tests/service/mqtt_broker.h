// A real mosquitto started by a test on a free loopback port (its own configuration in a
// temporary folder, stopped by its process id), and a subscriber on it through libmosquitto.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct mosquitto;

namespace gc6890::servicetest {

class Broker {
public:
    explicit Broker(const std::string& folder);
    ~Broker() { stop(); }
    Broker(const Broker&) = delete;
    Broker& operator=(const Broker&) = delete;

    // Starts mosquitto (on the same port each time) and waits, 10 s at most, until it
    // takes connections.
    bool start();
    void stop();
    int port() const { return port_; }
    std::string url() const { return "mqtt://127.0.0.1:" + std::to_string(port_); }

private:
    std::string config_;
    int port_ = 0;
    pid_t pid_ = -1;
};

struct Message {
    std::string topic;
    std::string payload;
    bool retained = false;
    std::chrono::steady_clock::time_point at;
};

class Subscriber {
public:
    Subscriber(int port, const std::vector<std::string>& topics);
    ~Subscriber();
    Subscriber(const Subscriber&) = delete;
    Subscriber& operator=(const Subscriber&) = delete;

    // The first message (from the start) that `match` accepts, waiting `ms` at most.
    std::optional<Message> waitFor(const std::function<bool(const Message&)>& match, int ms);
    std::optional<Message> waitFor(const std::string& topic, int ms);
    std::vector<Message> messages();
    void publish(const std::string& topic, const std::string& payload);

private:
    mosquitto* mosq_ = nullptr;
    std::vector<std::string> topics_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<Message> messages_;
};

}  // namespace gc6890::servicetest
