// The HTTP side of the service: the JSON API under /api/v1, the event stream, /healthz and
// /metrics. Handlers run on the HTTP library's pool threads; they read the snapshot, the
// history and the files, or hand a job or a task to the instrument thread.
#pragma once

#include <memory>
#include <string>

#include "service/method_store.h"
#include "service/service_state.h"

namespace httplib {
class Server;
}

namespace gc6890 {

class InstrumentThread;
class RequestWatchdog;

// Request bounds.
inline constexpr std::size_t kMaxBodyBytes = 1 << 20;
inline constexpr int kReadTimeoutS = 5;
inline constexpr int kWriteTimeoutS = 5;
// Our own bound on a request (request_watchdog.h), for each of its two stretches: reading it
// (with a keep-alive wait of up to 2 s before it) and handling it (an experiment record
// waits up to 10 s for the instrument thread), then writing the answer.
inline constexpr int kRequestDeadlineS = 20;
// Pool threads: one per event subscriber (at most 64) and 64 that only requests can
// hold. Each connection holds its thread while it is open (a keep-alive one up to 5 s
// idle): 64 keep-alive clients asking at once are served side by side with every
// subscriber slot taken; more wait for a thread.
inline constexpr std::size_t kPoolThreads = kMaxSubscribers + 64;
// How long a keep-alive connection may wait idle for its next request. The library also
// waits this long after answering a request it could not read (a 400 for headers that
// timed out), so it is part of what bounds a client that stops mid-request: 5 s + 2 s.
inline constexpr int kKeepAliveIdleS = 2;
// Requests one keep-alive connection may carry before the server closes it.
inline constexpr std::size_t kKeepAliveRequests = 10000;

class HttpApi {
public:
    HttpApi(ServiceState& state, InstrumentThread& instrument, MethodStore methods,
            std::string token, std::string openApiPath);
    ~HttpApi();
    HttpApi(const HttpApi&) = delete;
    HttpApi& operator=(const HttpApi&) = delete;

    // Binds the address ("host:port"; port 0 takes a free one). The port bound, or -1 with
    // `error` set.
    int bind(const std::string& listen, std::string& error);
    // Serves the dashboard's files from `webDir` at / and Chart.js's folder at /chart.js/.
    // False when a folder is missing.
    bool serveFiles(const std::string& webDir, const std::string& chartJsDir);
    // Serves until stop(); run on a thread of its own.
    void serve();
    void stop();

private:
    void routes();

    ServiceState& state_;
    InstrumentThread& instrument_;
    MethodStore methods_;
    std::string token_;
    std::string openApiPath_;
    std::unique_ptr<httplib::Server> server_;
    std::unique_ptr<RequestWatchdog> watchdog_;
    int listenSocket_ = -1;
};

}  // namespace gc6890
