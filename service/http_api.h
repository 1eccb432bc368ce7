// The HTTP side of the service: the JSON API under /api/v1, the event stream, /healthz and
// /metrics. This class owns the server, the checks before every route (the Host, the
// token) and the containment around them; the routes are in groups (http_api_routes.h).
// Handlers run on the HTTP library's pool threads; they read the snapshot, the history and
// the files, or hand a job or a task to the instrument thread.
#pragma once

#include <memory>
#include <string>

#include "service/method_store.h"
#include "service/service_state.h"

namespace httplib {
struct Request;
struct Response;
}  // namespace httplib

namespace gc6890 {

struct ApiContext;
class HttpServer;
class InstrumentThread;
class NoticeLimiter;
class RouteTable;

// Request bounds.
inline constexpr std::size_t kMaxBodyBytes = 1 << 20;
inline constexpr int kReadTimeoutS = 5;
inline constexpr int kWriteTimeoutS = 5;
// Our own bound on a request (http_connection.h), for each of its two stretches: reading
// its body and handling it (an experiment record waits up to 10 s for the instrument
// thread), then writing the answer.
inline constexpr int kRequestDeadlineS = 20;
// A connection waits in the waiting room (http_server.h) for its request: the first byte
// within the keep-alive wait, the whole head within this.
inline constexpr int kHeadDeadlineS = 5;
// How long a new or kept-alive connection may wait idle for its next request.
inline constexpr int kKeepAliveIdleS = 2;
// Requests one keep-alive connection may carry before the server closes it.
inline constexpr std::size_t kKeepAliveRequests = 10000;
// Pool threads: one per event subscriber (at most 64) and 64 that only requests can hold.
// A thread is held only while a request is handled or an event stream is open: waiting
// for a request (a new connection, a keep-alive one, a slow client's headers) holds none.
inline constexpr std::size_t kPoolThreads = kMaxSubscribers + 64;
// How long a thread keeps a kept-alive connection after its answer, for its next request.
inline constexpr int kLingerMs = 50;
// Connections waiting for their request head; beyond, a new one is answered 503 at once.
inline constexpr std::size_t kMaxWaitingConnections = 1024;
// Requests whose head is there, waiting for a pool thread; beyond, 503 at once.
inline constexpr std::size_t kMaxReadyConnections = 256;
// An event subscriber that has taken nothing for this long while events wait for it (its
// connection's window closed) is cut, as one that stops reading is by the write time-out.
inline constexpr int kStalledSubscriberS = 5;
// Refusals, cut clients and failed requests: logged at most once an interval an address.
inline constexpr int kNoticeIntervalS = 10;

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
    const RouteTable& routes() const { return *routes_; }

private:
    void addRoutes();
    // Before the routes: the Host check and the caller's admission; true when refused.
    bool refused(const httplib::Request& req, httplib::Response& res);
    // The caller's admission to the route's action (none for a route open to all).
    bool admitted(const httplib::Request& req, httplib::Response& res, const std::string& from);
    bool hostAllowed(const httplib::Request& req) const;
    void notice(const std::string& kind, const std::string& address, const std::string& text);

    ServiceState& state_;
    InstrumentThread& instrument_;
    MethodStore methods_;
    std::unique_ptr<NoticeLimiter> notices_;
    std::unique_ptr<ApiContext> context_;  // what the route groups share
    std::unique_ptr<RouteTable> routes_;
    std::unique_ptr<HttpServer> server_;
    std::string listenHost_;  // the address --listen named, lower case
    bool readsOpen_ = true;   // reads need no token: loopback only, or --open-reads
    int listenSocket_ = -1;
};

}  // namespace gc6890
