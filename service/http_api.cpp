#include "service/http_api.h"

#include <httplib.h>
#include <sys/socket.h>

#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "diagnostics/error_log.h"
#include "platform/platform.h"
#include "sequence/injection_limits.h"
#include "service/instrument_thread.h"
#include "service/job_requests.h"
#include "service/method_summary.h"
#include "service/request_watchdog.h"
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

}  // namespace

HttpApi::HttpApi(ServiceState& state, InstrumentThread& instrument, MethodStore methods,
                 std::string token, std::string openApiPath)
    : state_(state), instrument_(instrument), methods_(std::move(methods)),
      token_(std::move(token)), openApiPath_(std::move(openApiPath)),
      server_(std::make_unique<httplib::Server>())
{
    watchdog_ = std::make_unique<RequestWatchdog>(
        *server_, kRequestDeadlineS * 1000, [this](const std::string& peer) {
            ++state_.metrics.cutRequests;
            const std::string text = format("cut the client %s: its request ran past %d s",
                                            peer.c_str(), kRequestDeadlineS);
            std::cerr << "gc6890 serve: " << loggable(text) << '\n';
            state_.events.log(1, "service", text);
        });
    // The listening socket, to lengthen its queue after the bind.
    server_->set_socket_options([this](socket_t socket) {
        httplib::default_socket_options(socket);
        listenSocket_ = socket;
    });
    // An event subscriber holds a pool thread for as long as it listens.
    server_->new_task_queue = [] { return new httplib::ThreadPool(kPoolThreads); };
    server_->set_keep_alive_max_count(kKeepAliveRequests);
    // An answer goes out as two writes (head, then body): without this the body waits for
    // the client's delayed acknowledgement of the head, 40 ms on Linux, on every request of
    // a keep-alive connection. Accepted connections inherit it from the listening socket.
    server_->set_tcp_nodelay(true);
    server_->set_keep_alive_timeout(kKeepAliveIdleS);
    server_->set_read_timeout(kReadTimeoutS, 0);
    server_->set_write_timeout(kWriteTimeoutS, 0);
    server_->set_payload_max_length(kMaxBodyBytes);
    routes();
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
        watchdog_->start(port);
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

void HttpApi::routes()
{
    httplib::Server& s = *server_;

    // Anything that changes something needs the token; nothing is done without it.
    s.set_pre_routing_handler([this](const Request& req, Response& res) {
        if (!changes(req) || sameToken(bearer(req), token_))
            return httplib::Server::HandlerResponse::Unhandled;
        ++state_.metrics.unauthorized;
        const std::string what = req.method + " " + req.path + " from " + req.remote_addr +
                                 (req.has_header("Authorization") ? ": wrong token" : ": no token");
        std::cerr << "gc6890 serve: refused " << loggable(what) << '\n';
        state_.events.log(1, "service", "refused " + what);
        res.set_header("WWW-Authenticate", "Bearer");
        fail(res, 401, "this request needs the service's token: Authorization: Bearer TOKEN");
        return httplib::Server::HandlerResponse::Handled;
    });
    s.set_error_handler([](const Request& req, Response& res) {
        if (!res.body.empty())
            return;
        if (res.status == 404)
            fail(res, 404, "no such resource: " + req.method + " " + req.path);
        else if (res.status == 413)
            fail(res, 413, format("the request body is larger than %zu bytes", kMaxBodyBytes),
                 "body");
        else
            fail(res, res.status, format("HTTP status %d", res.status));
    });
    s.set_exception_handler([](const Request&, Response& res, std::exception_ptr error) {
        try {
            std::rethrow_exception(error);
        } catch (const BadField& bad) {
            fail(res, 400, bad.error, bad.field);
        } catch (const std::exception& e) {
            fail(res, 500, std::string("internal error: ") + e.what());
        } catch (...) {
            fail(res, 500, "internal error");
        }
    });

    s.Get("/api/v1/status", [this](const Request&, Response& res) {
        const auto snapshot = state_.snapshot.get();
        const std::optional<Job> job = state_.jobs.current();
        res.set_content(composeStatus(*snapshot, job ? job->json() : "null", steadyNowMs()) + "\n",
                        kJson);
    });

    s.Get("/api/v1/history", [this](const Request& req, Response& res) {
        const long long seconds = numberParam(req, "seconds", 3600, 1, 7 * 24 * 3600);
        const std::vector<HistorySample> samples =
            state_.history.since(unixNowMs() - seconds * 1000);
        json body = historyJson(samples);
        body["seconds"] = seconds;
        body["period_ms"] = state_.pollMs.load();
        reply(res, 200, body);
    });

    s.Get("/api/v1/events", [this](const Request& req, Response& res) {
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
        watchdog_->exempt(req);
        res.set_header("Cache-Control", "no-cache");
        res.set_header("X-Accel-Buffering", "no");  // a proxy must not hold events back
        res.set_chunked_content_provider(
            "text/event-stream", [subscription](std::size_t, httplib::DataSink& sink) {
                std::vector<Event> events;
                std::string text;
                switch (subscription->next(events, kKeepAliveMs)) {
                case EventHub::Read::Idle:
                    text = ": idle\n\n";
                    break;
                case EventHub::Read::Dropped:
                    // Too slow for the backlog: told once, then cut; it may resume with
                    // Last-Event-ID from what the backlog still holds.
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
                return sink.write(text.data(), text.size());
            });
    });

    s.Get("/api/v1/jobs/([0-9]+)", [this](const Request& req, Response& res) {
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
        s.Post(std::string("/api/v1/") + jobKindName(kind),
               [=, this](const Request& req, Response& res) {
                   submit(res, jobRequestOf(kind, parseBody(req, jobFields(kind)), methods_));
               });

    // Methods.
    s.Get("/api/v1/methods", [this](const Request&, Response& res) {
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
    s.Get("/api/v1/methods/([^/]+)", [=, this](const Request& req, Response& res) {
        const std::string name = nameOf(req);
        const std::optional<std::string> text = methods_.read(name);
        if (!text)
            return fail(res, 404, "no method " + name + " in " + methods_.folder());
        res.set_content(*text, "application/toml");
    });
    s.Post("/api/v1/methods/([^/]+)", [=, this](const Request& req, Response& res) {
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
    s.Get("/api/v1/methods/([^/]+)/summary", [=, this](const Request& req, Response& res) {
        const std::string name = nameOf(req);
        const std::optional<std::string> text = methods_.read(name);
        if (!text)
            return fail(res, 404, "no method " + name + " in " + methods_.folder());
        const std::optional<json> summary = methodSummary(*text, name + ".toml");
        if (!summary)
            return fail(res, 500, "the stored method " + name + " cannot be read");
        reply(res, 200, *summary);
    });
    s.Get("/api/v1/methods/([^/]+)/record", [=, this](const Request& req, Response& res) {
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

    s.Get("/api/v1/log", [](const Request& req, Response& res) {
        const long long lines = numberParam(req, "lines", 100, 1, 100000);
        res.set_content(lastLines(mapDrivePath(CHP6890ErrorLog::LogFileName().str()), lines),
                        "text/plain; charset=utf-8");
    });

    s.Get("/api/v1/openapi.json", [this](const Request&, Response& res) {
        std::ifstream file(openApiPath_, std::ios::binary);
        if (!file)
            return fail(res, 404, "the API description is not installed (" + openApiPath_ + ")");
        std::ostringstream text;
        text << file.rdbuf();
        res.set_content(text.str(), kJson);
    });

    s.Get("/healthz", [this](const Request&, Response& res) {
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
        json body = {{"ok", reason.empty()}, {"line", lineStateName(snapshot->line)}};
        body["age_ms"] = age < 0 ? json(nullptr) : json(age);
        if (!reason.empty())
            body["reason"] = reason;
        reply(res, reason.empty() ? 200 : 503, body);
    });

    s.Get("/metrics", [this](const Request&, Response& res) {
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
        counter("gc6890_events_dropped_subscribers_total",
                "Event subscribers cut for falling behind.", state_.events.dropped());
        if (m.mqttConnected >= 0) {
            counter("gc6890_mqtt_published_total", "Messages handed to the broker.",
                    m.mqttPublished);
            counter("gc6890_mqtt_lost_total", "Events not published: the broker was away too long.",
                    m.mqttLost);
            counter("gc6890_mqtt_connects_total", "Connections made to the broker.",
                    m.mqttConnects);
        }
        text += "# HELP gc6890_jobs_total Jobs by their state.\n# TYPE gc6890_jobs_total counter\n";
        for (JobState st : {JobState::Queued, JobState::Done, JobState::Failed})
            text += format("gc6890_jobs_total{state=\"%s\"} %llu\n", jobStateName(st),
                           static_cast<unsigned long long>(state_.jobs.count(st)));
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
