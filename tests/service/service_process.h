// The service end to end: `gc6890 serve` as its own process on a fresh home, reached over
// loopback with a real HTTP client, its event stream read by a subscriber thread.
#pragma once

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "arrivals.h"
#include "host/program_run.h"

namespace gc6890::servicetest {

class ServiceProcess {
public:
    ServiceProcess() = default;
    ~ServiceProcess() { stop(); }
    ServiceProcess(const ServiceProcess&) = delete;
    ServiceProcess& operator=(const ServiceProcess&) = delete;

    // Starts "gc6890 serve --listen 127.0.0.1:0 --port DEVICE" and waits (20 s at most each)
    // for the URL it prints, then for its line to be up.
    // `extra`: more options of serve (--mqtt ..., --sila ...: then its line is read too).
    ::testing::AssertionResult start(const std::string& device,
                                     const std::vector<std::string>& extra = {});
    // SIGTERM, then the exit status (-1 when it had to be killed after 30 s).
    int stop();
    // Waits for the service to end by itself; its wait status (-1: killed after `ms`).
    int waitForExit(int ms);

    // Set before start(): where the service's standard error goes ("": nowhere), and whether
    // it leads a process group of its own (as a shell's job does).
    std::string errorLog;
    bool ownGroup = false;
    // Set before start() when the service serves HTTPS (--tls-cert): the CA that signed its
    // certificate, which the clients here trust.
    std::string caFile;

    int port() const { return port_; }
    // "HOST:PORT" of the SiLA 2 server, when started with --sila.
    const std::string& silaAddress() const { return silaAddress_; }
    std::string url() const
    {
        return (caFile.empty() ? "http" : "https") + std::string("://127.0.0.1:") +
               std::to_string(port_);
    }
    pid_t pid() const { return pid_; }
    httplib::Client client() const;
    // The token the service made in the home.
    std::string token() const;
    httplib::Headers auth() const { return bearer(token()); }
    // The Authorization header of `token`; none for "".
    static httplib::Headers bearer(const std::string& token)
    {
        return token.empty() ? httplib::Headers()
                             : httplib::Headers{{"Authorization", "Bearer " + token}};
    }

    nlohmann::json get(const std::string& path) const;
    // POST with the token; the status and the JSON answer.
    std::pair<int, nlohmann::json> post(const std::string& path, const std::string& body,
                                        const std::string& type = "application/json") const;
    // Any request: `method` `path` with `body` (JSON when it starts with "{" or "[", else text) and
    // `headers`; the status and the JSON answer (of an event stream, its status once its
    // head is in).
    std::pair<int, nlohmann::json> ask(const std::string& method, const std::string& path,
                                       const std::string& body,
                                       const httplib::Headers& headers) const;
    // Polls GET `path` every 100 ms until `done` says yes, at most `ms`; the last answer.
    nlohmann::json waitFor(const std::string& path,
                           const std::function<bool(const nlohmann::json&)>& done, int ms) const;
    // The same until the answer's `key` is one of `values`.
    nlohmann::json waitFor(const std::string& path, const std::string& key,
                           const std::vector<std::string>& values, int ms) const;

private:
    pid_t pid_ = -1;
    int port_ = 0;
    std::string silaAddress_;
};

struct Event {
    std::uint64_t id = 0;
    std::string name;
    nlohmann::json data;
};

// A subscriber of /api/v1/events, reading on a thread of its own until destroyed.
class EventReader : public Arrivals<Event> {
public:
    // With `lastEventId`, resumes after that event (0: from the oldest kept); with `caFile`,
    // over HTTPS trusting that CA.
    explicit EventReader(int port, std::optional<std::uint64_t> lastEventId = std::nullopt,
                         const std::string& caFile = "");
    ~EventReader();

private:
    void parse(const char* data, std::size_t size);

    httplib::Client client_;
    std::thread thread_;
    std::string pending_;  // the reader thread's alone
    std::atomic<bool> stopping_ = false;
};

// The value of the line `name` ("gc6890_polls_total") of a /metrics text; -1 when none.
double metric(const std::string& metrics, const std::string& name);

// An event as the order checks name it: a job's "load queued", "run state idle", "locked";
// any other by its name.
std::string describe(const std::string& name, const nlohmann::json& data);
// Expects a load, then a run, in this order among the `seen` events (described as above).
void expectLoadThenRun(const std::vector<std::string>& seen);

using hosttest::auditLines;

// The method the service tests and the dashboard share, its run lasting `minutes` of
// instrument time (a second each at 60 times speed).
std::string method(double minutes);

}  // namespace gc6890::servicetest
