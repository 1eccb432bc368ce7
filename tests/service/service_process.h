// The service end to end: `gc6890 serve` as its own process on a fresh home, reached over
// loopback with a real HTTP client, its event stream read by a subscriber thread.
#pragma once

#include <httplib.h>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace gc6890::servicetest {

class ServiceProcess {
public:
    ServiceProcess() = default;
    ~ServiceProcess();
    ServiceProcess(const ServiceProcess&) = delete;
    ServiceProcess& operator=(const ServiceProcess&) = delete;

    // Starts "gc6890 serve --listen 127.0.0.1:0 --port DEVICE" and waits (20 s at most)
    // for the URL it prints. False when it printed none.
    // `extra`: more options of serve (--mqtt ...).
    bool start(const std::string& device, const std::vector<std::string>& extra = {});
    // SIGTERM, then the exit status (-1 when it had to be killed after 30 s).
    int stop();
    // Waits for the service to end by itself; its wait status (-1: killed after `ms`).
    int waitForExit(int ms);

    int port() const { return port_; }
    pid_t pid() const { return pid_; }
    httplib::Client client() const;
    // The token the service made in the home.
    std::string token() const;
    httplib::Headers auth() const { return {{"Authorization", "Bearer " + token()}}; }

    nlohmann::json get(const std::string& path) const;
    // POST with the token; the status and the JSON answer.
    std::pair<int, nlohmann::json> post(const std::string& path, const std::string& body,
                                        const std::string& type = "application/json") const;
    // Polls GET `path` every 100 ms until `done` says yes, at most `ms`; the last answer.
    nlohmann::json waitFor(const std::string& path,
                           const std::function<bool(const nlohmann::json&)>& done, int ms) const;

private:
    pid_t pid_ = -1;
    int port_ = 0;
};

struct Event {
    std::uint64_t id = 0;
    std::string name;
    nlohmann::json data;
};

// A subscriber of /api/v1/events, reading on a thread of its own until destroyed.
class EventReader {
public:
    // With `lastEventId`, resumes after that event (0: from the oldest kept).
    explicit EventReader(int port, std::optional<std::uint64_t> lastEventId = std::nullopt);
    ~EventReader();
    EventReader(const EventReader&) = delete;
    EventReader& operator=(const EventReader&) = delete;

    // The first event (from the start of the stream) that `match` accepts, waiting `ms` at
    // most for it.
    std::optional<Event> waitFor(const std::function<bool(const Event&)>& match, int ms);
    std::vector<Event> events();

private:
    void parse(const char* data, std::size_t size);

    httplib::Client client_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<Event> events_;
    std::string pending_;
    bool stopping_ = false;
};

// A method whose run lasts `minutes` of instrument time (a second each at 60 times speed).
inline std::string method(double minutes)
{
    return "[gc]\nrun_length = " + std::to_string(minutes) + R"(
[gc.oven]
equilibration_time = 0.0
initial_temperature = 50.0
initial_time = 0.5
ramps = []
[gc.column1]
inlet = "front"
[gc.front_inlet]
type = 1
[gc.front_inlet.split]
zone_on = true
temperature = 250.0
[sampler]
first_vial = 1
front_injector = true
)";
}

}  // namespace gc6890::servicetest
