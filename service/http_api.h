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

// Request bounds.
inline constexpr std::size_t kMaxBodyBytes = 1 << 20;
inline constexpr int kReadTimeoutS = 5;
inline constexpr int kWriteTimeoutS = 5;
// Pool threads: one per event subscriber and as many again for requests.
inline constexpr std::size_t kPoolThreads = 64 + 32;

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
};

}  // namespace gc6890
