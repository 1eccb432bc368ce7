// The HTTP side of the service: the JSON API under /api/v1, the event stream, /healthz and
// /metrics. Its door (http_front.h) owns the server, the checks before every route (the
// Host, the token) and the containment around them; the routes are in groups
// (http_api_routes.h).
// Handlers run on the HTTP library's pool threads; they read the snapshot, the history and
// the files, or hand a job or a task to the instrument thread.
#pragma once

#include <memory>
#include <string>

#include "service/http_front.h"
#include "service/method_store.h"
#include "service/service_state.h"

namespace gc6890 {

struct ApiContext;
class InstrumentThread;
class RouteTable;

// Pool threads: one per event subscriber (at most 64) and 64 that only requests can hold.
// A thread is held only while a request is handled or an event stream is open: waiting
// for a request (a new connection, a keep-alive one, a slow client's headers) holds none.
inline constexpr std::size_t kPoolThreads = kMaxSubscribers + 64;

class HttpApi {
public:
    // Callers are known by state.accounts (accounts.h).
    HttpApi(ServiceState& state, InstrumentThread& instrument, MethodStore methods,
            std::string openApiPath);
    ~HttpApi();
    HttpApi(const HttpApi&) = delete;
    HttpApi& operator=(const HttpApi&) = delete;

    // Binds the address ("host:port"; port 0 takes a free one). The port bound, or -1 with
    // `error` set.
    int bind(const std::string& listen, std::string& error);
    // Serves the dashboard's files from `webDir` at / and Chart.js's folder at /chart.js/.
    // False when a folder is missing.
    bool serveFiles(const std::string& webDir, const std::string& chartJsDir);
    // Serves HTTPS with this certificate and key (tls_context.h) instead of HTTP. Throws
    // std::runtime_error naming the file at fault.
    void useTls(const std::string& certificateFile, const std::string& keyFile);
    // Serves until stop(); run on a thread of its own.
    void serve();
    void stop();

    // The routes and the handling around them, for the fuzz harness (route_table.h).
    const RouteTable& routes() const;

private:
    ServiceState& state_;
    InstrumentThread& instrument_;
    MethodStore methods_;
    std::unique_ptr<HttpFront> front_;     // the server, the Host check, the admission
    std::unique_ptr<ApiContext> context_;  // what the route groups share
};

}  // namespace gc6890
