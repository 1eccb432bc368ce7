#include "service/http_front.h"

#include <httplib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <iostream>

#include "platform/platform.h"
#include "service/http_api_replies.h"
#include "service/http_server.h"
#include "service/job_requests.h"
#include "service/loopback_address.h"
#include "service/notice_limiter.h"
#include "service/route_table.h"
#include "service/safe_text.h"

namespace gc6890 {

namespace {

using httplib::Request;
using httplib::Response;
// Every answer: no sniffing of types, no framing by other sites, and for the dashboard no
// script, style or connection but the service's own (its page has no inline script or
// style; Chart.js is served at /chart.js/).
const httplib::Headers& securityHeaders()
{
    static const httplib::Headers headers = {
        {"X-Content-Type-Options", "nosniff"},
        {"X-Frame-Options", "DENY"},
        {"Referrer-Policy", "no-referrer"},
        {"Content-Security-Policy",
         "default-src 'self'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
         "connect-src 'self'; object-src 'none'; base-uri 'none'; form-action 'none'; "
         "frame-ancestors 'none'"},
    };
    return headers;
}

std::string lowerCase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The name of a Host header, without its port, lower case: "[::1]" stays in brackets.
std::string hostName(const std::string& header)
{
    std::string name = lowerCase(header);
    if (!name.empty() && name.front() == '[')
        return name.substr(0,
                           name.find(']') == std::string::npos ? name.size() : name.find(']') + 1);
    const std::size_t colon = name.find(':');
    return colon == std::string::npos ? name : name.substr(0, colon);
}

// An address as a Host header names it: IPv6 in brackets, an IPv4 one mapped into IPv6 as
// itself.
std::string addressAsHost(std::string address)
{
    if (address.rfind("::ffff:", 0) == 0 && address.find('.') != std::string::npos)
        address = address.substr(7);
    return address.find(':') == std::string::npos ? address : "[" + address + "]";
}

std::string machineName()
{
    char name[256] = {};
    return gethostname(name, sizeof name - 1) == 0 ? lowerCase(name) : std::string();
}

std::string bearer(const Request& req)
{
    const std::string header = req.get_header_value("Authorization");
    return header.rfind("Bearer ", 0) == 0 ? header.substr(7) : std::string();
}

}  // namespace

HttpFront::HttpFront(HttpFrontOptions options, Accounts& accounts, HttpFrontCounters counters,
                     std::function<void(const std::string&)> log)
    : options_(std::move(options)), accounts_(accounts), counters_(counters),
      notices_(std::make_unique<NoticeLimiter>(std::move(log), kNoticeIntervalS * 1000)),
      routes_(std::make_unique<RouteTable>())
{
    const std::string& listen = options_.listen;
    listenHost_ = lowerCase(listen.substr(0, listen.rfind(':')));
    const bool bracketed = listenHost_.size() > 2 && listenHost_.front() == '[';
    readsOpen_ =
        options_.openReads ||
        isLoopback(bracketed ? listenHost_.substr(1, listenHost_.size() - 2) : listenHost_);
    HttpServer::Hooks hooks;
    hooks.cut = [this](const std::string& address, const std::string& why) {
        ++counters_.cutRequests;
        notice("cut clients", address, "cut the client " + address + ": " + why);
    };
    hooks.shed = [this](const std::string& address) {
        ++counters_.shedConnections;
        notice("connections turned away", address,
               "turned away a connection from " + address + ": the service is full");
    };
    hooks.failed = [this](const std::string& address, const std::string& what) {
        ++counters_.failedRequests;
        notice("failed requests", address, "a request from " + address + " failed: " + what);
    };
    hooks.headers = securityHeaders();
    server_ = std::make_unique<HttpServer>(
        HttpServer::Limits{
            .threads = options_.threads,
            .maxWaiting = kMaxWaitingConnections,
            .maxReady = kMaxReadyConnections,
            .firstByteMs = kKeepAliveIdleS * 1000,
            .headMs = kHeadDeadlineS * 1000,
            .timing = {.ioTimeoutMs = kReadTimeoutS * 1000, .deadlineMs = kRequestDeadlineS * 1000},
            .keepAliveRequests = kKeepAliveRequests,
            .lingerMs = kLingerMs,
        },
        std::move(hooks));
    // The listening socket, to lengthen its queue after the bind.
    server_->set_socket_options([this](socket_t socket) {
        httplib::default_socket_options(socket);
        listenSocket_ = socket;
    });
    // An answer goes out as two writes (head, then body): without this the body waits for
    // the client's delayed acknowledgement of the head, 40 ms on Linux, on every request of
    // a keep-alive connection. Accepted connections inherit it from the listening socket.
    server_->set_tcp_nodelay(true);
    server_->set_payload_max_length(kMaxBodyBytes);
    // What the answers' Keep-Alive header tells the clients (the waiting room applies them).
    server_->set_keep_alive_timeout(kKeepAliveIdleS);
    server_->set_keep_alive_max_count(kKeepAliveRequests);
    guardRoutes();
}

void HttpFront::guardRoutes()
{
    RouteTable& s = *routes_;
    s.gate([this](const Request& req, Response& res) { return refused(req, res); });
    s.onError([](const Request& req, Response& res) {
        if (res.status == 404)
            fail(res, 404, "no such resource: " + req.method + " " + req.path);
        else if (res.status == 413)
            fail(res, 413, format("the request body is larger than %zu bytes", kMaxBodyBytes),
                 "body");
        else
            fail(res, res.status, format("HTTP status %d", res.status));
    });
    s.onException([this](const Request& req, Response& res, std::exception_ptr error) {
        try {
            std::rethrow_exception(error);
        } catch (const BadField& bad) {
            fail(res, 400, bad.error, bad.field);
        } catch (const std::exception& e) {
            ++counters_.failedRequests;
            notice("failed requests", req.remote_addr,
                   "failed " + req.method + " " + req.path + " from " + req.remote_addr + ": " +
                       e.what());
            fail(res, 500, std::string("internal error: ") + e.what());
        } catch (...) {
            ++counters_.failedRequests;
            notice("failed requests", req.remote_addr,
                   "failed " + req.method + " " + req.path + " from " + req.remote_addr);
            fail(res, 500, "internal error");
        }
    });
    s.onAnswer([](const Request&, Response& res) {
        for (const auto& [name, value] : securityHeaders())
            if (!res.has_header(name.c_str()))
                res.set_header(name.c_str(), value);
    });
}

HttpFront::~HttpFront() = default;

void HttpFront::install()
{
    routes_->install(*server_);
}

int HttpFront::bind(const std::string& listen, std::string& error)
{
    const std::size_t colon = listen.rfind(':');
    std::string host = colon == std::string::npos ? listen : listen.substr(0, colon);
    const std::string portText = colon == std::string::npos ? "6890" : listen.substr(colon + 1);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    int port = -1;
    try {
        std::size_t used = 0;
        port = std::stoi(portText, &used);
        if (used != portText.size())
            port = -1;
    } catch (const std::exception&) {
        port = -1;
    }
    if (host.empty() || port < 0 || port > 65535) {
        error = "--listen wants ADDRESS:PORT (PORT 0 to 65535), not " + listen;
        return -1;
    }
    if (port == 0)
        port = server_->bind_to_any_port(host);
    else if (!server_->bind_to_port(host, port))
        port = -1;
    if (port < 0)
        error = "cannot listen on " + listen + ": " + std::strerror(errno);
    else {
        // The library asks the kernel to queue 5 connections not yet taken; a burst of
        // clients beyond that has its connections dropped and retried by the clients' TCP
        // a second or more later. Listening again on the bound socket lengthens the queue.
        if (listenSocket_ < 0 || ::listen(listenSocket_, SOMAXCONN) != 0)
            std::cerr << "gc6890: the listen queue stays at 5 connections\n";
    }
    return port;
}

bool HttpFront::serveFolder(const std::string& mount, const std::string& folder)
{
    // Files are looked up before the routes; a path that is no file falls through to them.
    return server_->set_mount_point(mount, folder);
}

void HttpFront::useTls(const std::string& certificateFile, const std::string& keyFile)
{
    server_->useTls(std::make_unique<TlsContext>(certificateFile, keyFile));
}

void HttpFront::serve()
{
    server_->listen_after_bind();
}

void HttpFront::stop()
{
    server_->stop();
}

void HttpFront::notice(const std::string& kind, const std::string& address, const std::string& text)
{
    notices_->note(kind, address, text);
}

std::size_t HttpFront::waitingConnections() const
{
    return server_->waiting();
}

std::optional<Caller> HttpFront::caller(const Request& req) const
{
    return accounts_.identify(bearer(req));
}

std::function<bool()> HttpFront::readRecheck(const Request& req)
{
    return [this, token = bearer(req), open = readsOpen_] {
        return accounts_.admit(token, Action::Read, open).admitted();
    };
}

bool HttpFront::hostAllowed(const Request& req) const
{
    // A browser always names the host; a client without a Host header is no page that a
    // renamed address (DNS rebinding) could have led here.
    if (!req.has_header("Host"))
        return true;
    const std::string name = hostName(req.get_header_value("Host"));
    if (name == "localhost" || name == addressAsHost(lowerCase(req.local_addr)) ||
        name == listenHost_ || name == addressAsHost(listenHost_))
        return true;
    const std::vector<std::string>& allowed = options_.allowHosts;
    if (std::any_of(allowed.begin(), allowed.end(),
                    [&](const std::string& host) { return lowerCase(host) == name; }))
        return true;
    // Listening on every address: the machine's own name too.
    static const std::string machine = machineName();
    const bool everywhere =
        listenHost_ == "0.0.0.0" || listenHost_ == "::" || listenHost_ == "[::]";
    return everywhere && !machine.empty() &&
           (name == machine || name == machine.substr(0, machine.find('.')));
}

bool HttpFront::refused(const Request& req, Response& res)
{
    const std::string from = req.method + " " + req.path + " from " + req.remote_addr;
    // A refused request's body is never read: the connection cannot carry another.
    if (std::atoll(req.get_header_value("Content-Length").c_str()) > 0 ||
        req.has_header("Transfer-Encoding"))
        HttpServer::closeAfterAnswer();
    if (!hostAllowed(req)) {
        ++counters_.wrongHost;
        const std::string host = hostName(req.get_header_value("Host"));
        notice("refused requests", req.remote_addr,
               "refused " + from + ": the Host " + host + " is not one of the service's names");
        fail(res, 403,
             "the Host " + host +
                 " is not one of this service's names; a name a reverse proxy forwards is "
                 "accepted when the server is started with --allow-host NAME");
        return true;
    }
    return !admitted(req, res, from);
}

bool HttpFront::admitted(const Request& req, Response& res, const std::string& from)
{
    std::smatch matches;
    const RouteTable::Route* route = routes_->find(req.method, req.path, matches);
    if (route && !route->action)
        return true;  // open to all
    // Unrouted: a GET is a file of the dashboard (which asks for the token itself) or a
    // 404; anything else needs a token of some account before it learns there is no route.
    const bool reads = req.method == "GET" || req.method == "HEAD" || req.method == "OPTIONS";
    if (!route && reads)
        return true;
    const Action action = route ? *route->action : Action::Read;
    const Admission admission = accounts_.admit(bearer(req), action, route ? readsOpen_ : false);
    if (admission.admitted())
        return true;
    ++counters_.unauthorized;
    notice("refused requests", req.remote_addr, "refused " + from + ": " + admission.refusal());
    if (refusal_)
        refusal_(req, route, admission);
    if (admission.verdict == Admission::Verdict::Forbidden) {
        const Role needed = requiredRole(action);
        reply(res, 403,
              {{"error", admission.refusal()},
               {"role_needed", roleName(needed)},
               {"role", roleName(admission.caller->role)}});
        return false;
    }
    res.set_header("WWW-Authenticate", "Bearer");
    fail(res, 401,
         admission.verdict == Admission::Verdict::NoToken
             ? "this request needs the service's token or an account's (gc6890 user add): "
               "Authorization: Bearer TOKEN"
             : "this request needs the service's token or an account's; the token sent is "
               "neither (removed, rotated or mistyped)");
    return false;
}

}  // namespace gc6890
