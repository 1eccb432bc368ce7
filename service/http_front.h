// The HTTP door as every server of ours opens it: the server with its handling of
// connections (http_server.h), the Host check, each route's admission by the accounts and
// roles, the JSON answers to errors and exceptions, the security headers, HTTPS, and the
// notices of refusals at most once an interval an address. The instrument service's API
// (http_api.h) and the lab service (lab/lab_http.h) fill its route table with their own.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "service/accounts.h"
#include "service/route_table.h"

namespace httplib {
struct Request;
struct Response;
}  // namespace httplib

namespace gc6890 {

class HttpServer;
class NoticeLimiter;

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

struct HttpFrontOptions {
    std::string listen;                   // "host:port" as --listen gave it
    std::vector<std::string> allowHosts;  // more names the Host header may give
    bool openReads = false;               // reads without a token beyond loopback too
    std::size_t threads = 64;             // pool threads (one per open event stream, and more)
};

// What the door counts, for its program's /metrics.
struct HttpFrontCounters {
    std::atomic<std::uint64_t>& wrongHost;
    std::atomic<std::uint64_t>& unauthorized;
    std::atomic<std::uint64_t>& cutRequests;
    std::atomic<std::uint64_t>& shedConnections;
    std::atomic<std::uint64_t>& failedRequests;
};

class HttpFront {
public:
    // `log` writes a notice (rate-limited here) to the program's log.
    HttpFront(HttpFrontOptions options, Accounts& accounts, HttpFrontCounters counters,
              std::function<void(const std::string&)> log);
    ~HttpFront();
    HttpFront(const HttpFront&) = delete;
    HttpFront& operator=(const HttpFront&) = delete;

    // The routes, to be filled before install().
    RouteTable& routes() { return *routes_; }
    // Registers the routes and the handling around them into the server.
    void install();

    // Binds the address ("host:port"; port 0 takes a free one). The port bound, or -1 with
    // `error` set.
    int bind(const std::string& listen, std::string& error);
    // Serves the files of `folder` at `mount` ("/", "/chart.js"); false when it is missing.
    bool serveFolder(const std::string& mount, const std::string& folder);
    // Serves HTTPS with this certificate and key (tls_context.h) instead of HTTP. Throws
    // std::runtime_error naming the file at fault.
    void useTls(const std::string& certificateFile, const std::string& keyFile);
    // Serves until stop(); run on a thread of its own.
    void serve();
    void stop();

    std::size_t waitingConnections() const;
    // Whom the request's bearer token names; nothing without one.
    std::optional<Caller> caller(const httplib::Request& req) const;
    // Asks again, each time it is called, whether the request's caller may still read: an
    // event stream that stays open for days ends when its account is removed or its token
    // changed, as its next request would be refused.
    std::function<bool()> readRecheck(const httplib::Request& req);
    // A notice for the log, at most once an interval an address (notice_limiter.h).
    void notice(const std::string& kind, const std::string& address, const std::string& text);
    HttpFrontCounters& counters() { return counters_; }
    // Called for each request refused admission (the audit trail's line), with its route
    // (null for none).
    using Refusal =
        std::function<void(const httplib::Request&, const RouteTable::Route*, const Admission&)>;
    void onRefusal(Refusal refusal) { refusal_ = std::move(refusal); }

private:
    // The route table's gate and what every answer gets: the error answers (404, 413, a
    // handler's exception as 400 or 500) and the security headers.
    void guardRoutes();
    // Before the routes: the Host check and the caller's admission; true when refused.
    bool refused(const httplib::Request& req, httplib::Response& res);
    bool admitted(const httplib::Request& req, httplib::Response& res, const std::string& from);
    bool hostAllowed(const httplib::Request& req) const;

    HttpFrontOptions options_;
    Accounts& accounts_;
    HttpFrontCounters counters_;
    std::unique_ptr<NoticeLimiter> notices_;
    std::unique_ptr<RouteTable> routes_;
    std::unique_ptr<HttpServer> server_;
    std::string listenHost_;  // the address --listen named, lower case
    bool readsOpen_ = true;   // reads need no token: loopback only, or --open-reads
    int listenSocket_ = -1;
    Refusal refusal_;
};

}  // namespace gc6890
