#include "service/http_api.h"

#include <httplib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "diagnostics/error_log.h"
#include "platform/platform.h"
#include "sequence/injection_limits.h"
#include "sequence/sequence_runner.h"
#include "service/http_server.h"
#include "service/instrument_thread.h"
#include "service/job_requests.h"
#include "service/method_summary.h"
#include "service/notice_limiter.h"
#include "service/route_table.h"
#include "service/safe_text.h"
#include "service/sequence_api.h"
#include "service/service_token.h"
#include "service/thread_instrument.h"

namespace gc6890 {

namespace {

using httplib::Request;
using httplib::Response;
using nlohmann::json;

constexpr const char* kJson = "application/json";
// A subscriber hears at least this often (a comment line), so that dead ones are found.
constexpr int kKeepAliveMs = 15000;
// The longest an experiment record may wait for the instrument thread (a load in progress).
constexpr int kTaskWaitMs = 10000;

void reply(Response& res, int status, const json& body)
{
    res.status = status;
    res.set_content(jsonText(body) + "\n", kJson);
}

void fail(Response& res, int status, const std::string& error, const std::string& field = {})
{
    json body = {{"error", error}};
    if (!field.empty())
        body["field"] = field;
    reply(res, status, body);
}

// A JSON request body: an object whose every field is known. Throws BadField.
json parseBody(const Request& req, const std::vector<std::string>& known)
{
    return parseJsonObject(req.body, known);
}

// Optional query parameter as a whole number in [low, high].
long long numberParam(const Request& req, const char* name, long long fallback, long long low,
                      long long high)
{
    if (!req.has_param(name))
        return fallback;
    const std::string text = req.get_param_value(name);
    std::size_t used = 0;
    long long value = 0;
    try {
        value = std::stoll(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used == 0 || used != text.size() || value < low || value > high)
        throw BadField{name,
                       format("%s must be a whole number from %lld to %lld", name, low, high)};
    return value;
}

template <std::size_t N>
void histogram(std::string& text, const char* name, const char* help, const Histogram<N>& h)
{
    text += format("# HELP %s %s\n# TYPE %s histogram\n", name, help, name);
    unsigned long long cumulative = 0;
    for (std::size_t i = 0; i <= N; ++i) {
        cumulative += h.counts[i].load(std::memory_order_relaxed);
        const std::string bound = i < N ? format("%g", h.bounds[i]) : std::string("+Inf");
        text += format("%s_bucket{le=\"%s\"} %llu\n", name, bound.c_str(), cumulative);
    }
    text += format("%s_sum %.6f\n%s_count %llu\n", name,
                   static_cast<double>(h.sumNanos.load(std::memory_order_relaxed)) / 1e9, name,
                   cumulative);
}

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

bool changes(const Request& req)
{
    return req.method != "GET" && req.method != "HEAD" && req.method != "OPTIONS";
}

std::string lastLines(const std::string& path, long long lines)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return {};
    // The log is bounded (MaxLogSize); read at most its last 4 MiB.
    file.seekg(0, std::ios::end);
    const std::streamoff size = file.tellg();
    const std::streamoff from = std::max<std::streamoff>(0, size - (4 << 20));
    file.seekg(from);
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::size_t start = text.size();
    long long found = 0;
    while (start > 0 && found <= lines) {
        const std::size_t newline = text.rfind('\n', start - 1);
        if (newline == std::string::npos) {
            start = 0;
            break;
        }
        if (newline + 1 < text.size())
            ++found;
        if (found > lines)
            break;
        start = newline;
    }
    return text.substr(start == 0 ? 0 : start + 1);
}

// Why the sequence under way needs someone: paused by itself for a fault, not by a person
// ("" when none is, or it is not paused).
std::string sequenceTrouble(const SequenceBoard& sequences)
{
    const std::string id = sequences.active();
    const std::optional<std::string> text = id.empty() ? std::nullopt : sequences.find(id);
    if (!text)
        return {};
    const json sequence = json::parse(*text, nullptr, false);
    if (!sequence.is_object() || !sequence.contains("state") || sequence["state"] != "paused")
        return {};
    const std::string reason =
        sequence.contains("reason") && sequence["reason"].is_string() ? sequence["reason"] : "";
    return pausedByPerson(reason) ? std::string() : "the sequence " + id + " is paused: " + reason;
}

// Writes the subscriber's next events (or a keep-alive comment); false to end the stream.
// A subscriber whose connection held bytes it did not take for kStalledSubscriberS while
// more came is cut: it is not reading, and it would hold its slot for as long as the
// kernel's buffers take to fill.
bool writeEvents(EventHub::Subscription& subscription, httplib::DataSink& sink,
                 std::int64_t& stalledSince)
{
    std::vector<Event> events;
    std::string text;
    switch (subscription.next(events, kKeepAliveMs)) {
    case EventHub::Read::Idle:
        text = ": idle\n\n";
        break;
    case EventHub::Read::Dropped:
        // Too slow for the backlog: told once, then cut; it may resume with Last-Event-ID
        // from what the backlog still holds.
        text = "event: dropped\ndata: {\"error\":\"the subscriber fell behind the "
               "backlog\"}\n\n";
        sink.write(text.data(), text.size());
        return false;
    case EventHub::Read::Closed:
        sink.done();
        return true;
    case EventHub::Read::Events:
        for (const Event& event : events)
            text += "id: " + std::to_string(event.id) + "\nevent: " + event.name +
                    "\ndata: " + event.data + "\n\n";
        break;
    }
    if (HttpServer::unsentBytes() > 0) {
        const std::int64_t now = steadyNowMs();
        if (stalledSince == 0)
            stalledSince = now;
        else if (now - stalledSince > kStalledSubscriberS * 1000) {
            subscription.drop();
            return false;
        }
    } else
        stalledSince = 0;
    return sink.write(text.data(), text.size());
}

}  // namespace

HttpApi::HttpApi(ServiceState& state, InstrumentThread& instrument, MethodStore methods,
                 std::string token, std::string openApiPath)
    : state_(state), instrument_(instrument), methods_(std::move(methods)),
      token_(std::move(token)), openApiPath_(std::move(openApiPath)),
      notices_(std::make_unique<NoticeLimiter>(
          [this](const std::string& text) {
              std::cerr << "gc6890 serve: " << loggable(text) << '\n';
              state_.events.log(1, "service", loggable(text));
          },
          kNoticeIntervalS * 1000)),
      routes_(std::make_unique<RouteTable>())
{
    const std::string& listen = state_.options.listen;
    listenHost_ = lowerCase(listen.substr(0, listen.rfind(':')));
    HttpServer::Hooks hooks;
    hooks.cut = [this](const std::string& address, const std::string& why) {
        ++state_.metrics.cutRequests;
        notice("cut clients", address, "cut the client " + address + ": " + why);
    };
    hooks.shed = [this](const std::string& address) {
        ++state_.metrics.shedConnections;
        notice("connections turned away", address,
               "turned away a connection from " + address + ": the service is full");
    };
    hooks.failed = [this](const std::string& address, const std::string& what) {
        ++state_.metrics.failedRequests;
        notice("failed requests", address, "a request from " + address + " failed: " + what);
    };
    hooks.headers = securityHeaders();
    server_ = std::make_unique<HttpServer>(
        HttpServer::Limits{
            .threads = kPoolThreads,
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
    addRoutes();
    routes_->install(*server_);
}

HttpApi::~HttpApi() = default;

int HttpApi::bind(const std::string& listen, std::string& error)
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
            std::cerr << "gc6890 serve: the listen queue stays at 5 connections\n";
    }
    return port;
}

bool HttpApi::serveFiles(const std::string& webDir, const std::string& chartJsDir)
{
    // Files are looked up before the routes; a path that is no file falls through to them.
    return server_->set_mount_point("/chart.js", chartJsDir) &&
           server_->set_mount_point("/", webDir);
}

void HttpApi::serve()
{
    server_->listen_after_bind();
}

void HttpApi::stop()
{
    server_->stop();
}

void HttpApi::notice(const std::string& kind, const std::string& address, const std::string& text)
{
    notices_->note(kind, address, text);
}

bool HttpApi::hostAllowed(const Request& req) const
{
    // A browser always names the host; a client without a Host header is no page that a
    // renamed address (DNS rebinding) could have led here.
    if (!req.has_header("Host"))
        return true;
    const std::string name = hostName(req.get_header_value("Host"));
    if (name == "localhost" || name == addressAsHost(lowerCase(req.local_addr)) ||
        name == listenHost_ || name == addressAsHost(listenHost_))
        return true;
    const std::vector<std::string>& allowed = state_.options.allowHosts;
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

bool HttpApi::refused(const Request& req, Response& res)
{
    const std::string from = req.method + " " + req.path + " from " + req.remote_addr;
    // A refused request's body is never read: the connection cannot carry another.
    if (std::atoll(req.get_header_value("Content-Length").c_str()) > 0 ||
        req.has_header("Transfer-Encoding"))
        HttpServer::closeAfterAnswer();
    if (!hostAllowed(req)) {
        ++state_.metrics.wrongHost;
        const std::string host = hostName(req.get_header_value("Host"));
        notice("refused requests", req.remote_addr,
               "refused " + from + ": the Host " + host + " is not one of the service's names");
        fail(res, 403,
             "the Host " + host +
                 " is not one of this service's names; a name a reverse proxy forwards is "
                 "accepted with gc6890 serve --allow-host NAME");
        return true;
    }
    // Anything that changes something needs the token; nothing is done without it.
    if (!changes(req) || sameToken(bearer(req), token_))
        return false;
    ++state_.metrics.unauthorized;
    notice("refused requests", req.remote_addr,
           "refused " + from + (req.has_header("Authorization") ? ": wrong token" : ": no token"));
    res.set_header("WWW-Authenticate", "Bearer");
    fail(res, 401, "this request needs the service's token: Authorization: Bearer TOKEN");
    return true;
}

void HttpApi::addRoutes()
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
            ++state_.metrics.failedRequests;
            notice("failed requests", req.remote_addr,
                   "failed " + req.method + " " + req.path + " from " + req.remote_addr + ": " +
                       e.what());
            fail(res, 500, std::string("internal error: ") + e.what());
        } catch (...) {
            ++state_.metrics.failedRequests;
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

    s.get("/api/v1/status", [this](const Request&, Response& res) {
        const auto snapshot = state_.snapshot.get();
        const std::optional<Job> job = state_.jobs.current();
        res.set_content(composeStatus(*snapshot, job ? job->json() : "null", steadyNowMs()) + "\n",
                        kJson);
    });

    s.get("/api/v1/history", [this](const Request& req, Response& res) {
        const long long seconds = numberParam(req, "seconds", 3600, 1, 7 * 24 * 3600);
        const std::vector<HistorySample> samples =
            state_.history.since(unixNowMs() - seconds * 1000);
        json body = historyJson(samples);
        body["seconds"] = seconds;
        body["period_ms"] = state_.pollMs.load();
        reply(res, 200, body);
    });

    s.get("/api/v1/events", [this](const Request& req, Response& res) {
        std::optional<std::uint64_t> last;
        if (req.has_header("Last-Event-ID")) {
            try {
                last = std::stoull(req.get_header_value("Last-Event-ID"));
            } catch (const std::exception&) {
                throw BadField{"Last-Event-ID", "Last-Event-ID must be an event id"};
            }
        }
        std::shared_ptr<EventHub::Subscription> subscription = state_.events.subscribe(last);
        if (!subscription) {
            res.set_header("Retry-After", "10");
            return fail(res, 503, "too many event subscribers (64); try again later");
        }
        HttpServer::streamingAnswer();
        res.set_header("Cache-Control", "no-cache");
        res.set_header("X-Accel-Buffering", "no");  // a proxy must not hold events back
        // Since when the subscriber's connection has held bytes it did not take (0: none).
        auto stalledSince = std::make_shared<std::int64_t>(0);
        res.set_chunked_content_provider(
            "text/event-stream", [this, subscription, stalledSince,
                                  address = req.remote_addr](std::size_t, httplib::DataSink& sink) {
                try {
                    return writeEvents(*subscription, sink, *stalledSince);
                } catch (const std::exception& error) {
                    ++state_.metrics.failedRequests;
                    notice("failed requests", address,
                           "the event stream to " + address + " failed: " + error.what());
                    return false;
                }
            });
    });

    s.get("/api/v1/jobs/([0-9]+)", [this](const Request& req, Response& res) {
        std::optional<Job> job;
        try {
            job = state_.jobs.find(std::stoull(req.matches[1].str()));
        } catch (const std::exception&) {
        }
        if (!job)
            return fail(res, 404, "no job " + req.matches[1].str());
        res.set_content(job->json() + "\n", kJson);
    });

    // The jobs: 202 at once with the job's id, 409 while another is under way.
    auto submit = [this](Response& res, const JobRequest& request) {
        const JobBoard::Submitted submitted = submitJob(state_, request);
        if (submitted.id == 0)
            return fail(res, 409, refusal(request, submitted.conflict));
        const std::string url = "/api/v1/jobs/" + std::to_string(submitted.id);
        res.set_header("Location", url);
        reply(res, 202, {{"job", submitted.id}, {"url", url}});
    };
    // The same checks as the broker's commands (job_requests.h).
    for (const JobKind kind :
         {JobKind::Load, JobKind::Run, JobKind::Stop, JobKind::Reset, JobKind::Zones})
        s.post(std::string("/api/v1/") + jobKindName(kind),
               [=, this](const Request& req, Response& res) {
                   submit(res, jobRequestOf(kind, parseBody(req, jobFields(kind)), methods_));
               });

    // Methods.
    s.get("/api/v1/methods", [this](const Request&, Response& res) {
        json list = json::array();
        for (const MethodEntry& entry : methods_.list())
            list.push_back({{"name", entry.name},
                            {"size", entry.size},
                            {"modified", isoTime(entry.modifiedMs)}});
        reply(res, 200, {{"folder", methods_.folder()}, {"methods", list}});
    });
    auto nameOf = [](const Request& req) {
        std::string why;
        const std::string name = plainMethodName(req.matches[1].str(), why);
        if (name.empty())
            throw BadField{"name", why};
        return name;
    };
    s.get("/api/v1/methods/([^/]+)", [=, this](const Request& req, Response& res) {
        const std::string name = nameOf(req);
        const std::optional<std::string> text = methods_.read(name);
        if (!text)
            return fail(res, 404, "no method " + name + " in " + methods_.folder());
        res.set_content(*text, "application/toml");
    });
    s.post("/api/v1/methods/([^/]+)", [=, this](const Request& req, Response& res) {
        const std::string name = nameOf(req);
        const MethodCheck check = checkMethodText(req.body, name + ".toml");
        if (!check.ok) {
            json body = {{"error", check.error},
                         {"file", check.file},
                         {"line", check.line},
                         {"problem", check.problem}};
            if (!check.key.empty())
                body["key"] = check.key;
            if (check.column)
                body["column"] = check.column;
            return reply(res, 400, body);
        }
        std::string error;
        if (!methods_.store(name, req.body, error))
            return fail(res, 500, error);
        reply(res, 201, {{"name", name}, {"run_length_min", check.runLengthMin}});
    });
    s.get("/api/v1/methods/([^/]+)/summary", [=, this](const Request& req, Response& res) {
        const std::string name = nameOf(req);
        const std::optional<std::string> text = methods_.read(name);
        if (!text)
            return fail(res, 404, "no method " + name + " in " + methods_.folder());
        const std::optional<json> summary = methodSummary(*text, name + ".toml");
        if (!summary)
            return fail(res, 500, "the stored method " + name + " cannot be read");
        reply(res, 200, *summary);
    });
    s.get("/api/v1/methods/([^/]+)/record", [=, this](const Request& req, Response& res) {
        const std::string name = nameOf(req);
        if (!methods_.read(name))
            return fail(res, 404, "no method " + name + " in " + methods_.folder());
        float volume = 1.0f;
        if (req.has_param("volume")) {
            const std::string text = req.get_param_value("volume");
            char* end = nullptr;
            const double value = std::strtod(text.c_str(), &end);  // the service runs in "C"
            if (text.empty() || *end || !volumeInRange(value))
                throw BadField{"volume", volumeRangeText()};
            volume = static_cast<float>(value);
        }
        std::string text;
        bool ok = false;
        const std::string file = methods_.path(name);
        const bool ran = instrument_.runTask(
            [&] { ok = instrument_.writeRecord(file, volume, text); }, kTaskWaitMs);
        if (!ran) {
            res.set_header("Retry-After", "5");
            return fail(res, 503, "the instrument thread is busy with a job; try again");
        }
        if (!ok)
            return fail(res, 500, "the record of " + name + " could not be written");
        res.set_content(text, "text/plain; charset=utf-8");
    });

    addSequenceRoutes(s, state_, instrument_, methods_);

    s.get("/api/v1/log", [](const Request& req, Response& res) {
        const long long lines = numberParam(req, "lines", 100, 1, 100000);
        res.set_content(lastLines(mapDrivePath(CHP6890ErrorLog::LogFileName().str()), lines),
                        "text/plain; charset=utf-8");
    });

    s.get("/api/v1/openapi.json", [this](const Request&, Response& res) {
        std::ifstream file(openApiPath_, std::ios::binary);
        if (!file)
            return fail(res, 404, "the API description is not installed (" + openApiPath_ + ")");
        std::ostringstream text;
        text << file.rdbuf();
        res.set_content(text.str(), kJson);
    });

    s.get("/healthz", [this](const Request&, Response& res) {
        const auto snapshot = state_.snapshot.get();
        const std::int64_t age = snapshot->timeMs ? steadyNowMs() - snapshot->steadyMs : -1;
        // Fresh: the last good poll is no older than three poll periods (and a second).
        const std::int64_t limit = 3 * static_cast<std::int64_t>(state_.pollMs.load()) + 1000;
        std::string reason;
        if (snapshot->line != LineState::Up)
            reason =
                std::string("line ") + lineStateName(snapshot->line) + ": " + snapshot->lineReason;
        else if (age < 0)
            reason = "no poll yet";
        else if (age > limit)
            reason = format("the last poll is %lld ms old", static_cast<long long>(age));
        else
            reason = sequenceTrouble(state_.sequences);
        json body = {{"ok", reason.empty()}, {"line", lineStateName(snapshot->line)}};
        body["age_ms"] = age < 0 ? json(nullptr) : json(age);
        if (!reason.empty())
            body["reason"] = reason;
        reply(res, reason.empty() ? 200 : 503, body);
    });

    s.get("/metrics", [this](const Request&, Response& res) {
        const Metrics& m = state_.metrics;
        std::string text;
        auto counter = [&](const char* name, const char* help, std::uint64_t value) {
            text += format("# HELP %s %s\n# TYPE %s counter\n%s %llu\n", name, help, name, name,
                           static_cast<unsigned long long>(value));
        };
        counter("gc6890_polls_total", "Polls of the GC and sampler that succeeded.", m.polls);
        counter("gc6890_polls_failed_total", "Polls that failed.", m.failedPolls);
        counter("gc6890_rebuilds_total", "Times the line came back after a failure.", m.rebuilds);
        counter("gc6890_requests_cut_total",
                "Connections cut because a request ran past the service's deadline.",
                m.cutRequests);
        counter("gc6890_unauthorized_total", "Requests refused for a missing or wrong token.",
                m.unauthorized);
        counter("gc6890_requests_wrong_host_total",
                "Requests refused for a Host that is none of the service's names.", m.wrongHost);
        counter("gc6890_requests_failed_total",
                "Requests whose handling failed inside the service (answered 500).",
                m.failedRequests);
        counter("gc6890_connections_shed_total",
                "Connections answered 503 at once: too many waiting for their request or a thread.",
                m.shedConnections);
        counter("gc6890_events_dropped_subscribers_total",
                "Event subscribers cut for falling behind or not reading.",
                state_.events.dropped());
        if (m.mqttConnected >= 0) {
            counter("gc6890_mqtt_published_total", "Messages handed to the broker.",
                    m.mqttPublished);
            counter("gc6890_mqtt_lost_total", "Events not published: the broker was away too long.",
                    m.mqttLost);
            counter("gc6890_mqtt_connects_total", "Connections made to the broker.",
                    m.mqttConnects);
            counter("gc6890_mqtt_callbacks_failed_total",
                    "Exceptions caught in a broker callback or the publishing thread.",
                    m.mqttFailures);
            text += "# HELP gc6890_mqtt_commands_total Commands from the broker by outcome.\n"
                    "# TYPE gc6890_mqtt_commands_total counter\n";
            for (int outcome = 0; outcome < MqttCommands::kOutcomes; ++outcome)
                if (outcome != static_cast<int>(MqttCommands::Outcome::NotOurs))
                    text += format(
                        "gc6890_mqtt_commands_total{outcome=\"%s\"} %llu\n",
                        MqttCommands::outcomeName(static_cast<MqttCommands::Outcome>(outcome)),
                        static_cast<unsigned long long>(m.mqttCommands[outcome].load()));
        }
        counter("gc6890_instrument_steps_failed_total",
                "Exceptions caught in a step of the instrument thread (a job, a task, a poll, a "
                "handler).",
                m.instrumentFailures);
        text += "# HELP gc6890_jobs_total Jobs by their state.\n# TYPE gc6890_jobs_total counter\n";
        for (JobState st : {JobState::Queued, JobState::Done, JobState::Failed})
            text += format("gc6890_jobs_total{state=\"%s\"} %llu\n", jobStateName(st),
                           static_cast<unsigned long long>(state_.jobs.count(st)));
        text += format("# HELP gc6890_connections_waiting Connections waiting for their request.\n"
                       "# TYPE gc6890_connections_waiting gauge\ngc6890_connections_waiting %zu\n",
                       server_->waiting());
        text += format("# HELP gc6890_event_subscribers Event stream subscribers.\n"
                       "# TYPE gc6890_event_subscribers gauge\ngc6890_event_subscribers %zu\n",
                       state_.events.subscribers());
        histogram(text, "gc6890_poll_seconds", "Time one poll of the GC and sampler took.",
                  m.pollSeconds);
        histogram(text, "gc6890_exchange_seconds",
                  "Time from a line written to the instrument to its answer.", m.exchangeSeconds);
        counter("gc6890_exchanges_unanswered_total",
                "Lines written whose answer did not come (a time-out or a broken line).",
                m.unansweredExchanges);
        res.set_content(text, "text/plain; version=0.0.4");
    });
}

}  // namespace gc6890
