// The routes for those who run the service: the comms log's last lines, the API
// description, the health check and the Prometheus metrics.
#include <httplib.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "audit/audit_reader.h"
#include "diagnostics/error_log.h"
#include "platform/platform.h"
#include "sequence/sequence_runner.h"
#include "service/http_api_replies.h"
#include "service/http_api_routes.h"
#include "service/job_requests.h"
#include "service/route_table.h"
#include "service/service_state.h"

namespace gc6890 {

namespace {

using httplib::Request;
using httplib::Response;
using nlohmann::json;

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

void health(const ServiceState& state, Response& res)
{
    const auto snapshot = state.snapshot.get();
    const std::int64_t age = snapshot->timeMs ? steadyNowMs() - snapshot->steadyMs : -1;
    // Fresh: the last good poll is no older than three poll periods (and a second).
    const std::int64_t limit = 3 * static_cast<std::int64_t>(state.pollMs.load()) + 1000;
    std::string reason;
    if (snapshot->line != LineState::Up)
        reason = std::string("line ") + lineStateName(snapshot->line) + ": " + snapshot->lineReason;
    else if (age < 0)
        reason = "no poll yet";
    else if (age > limit)
        reason = format("the last poll is %lld ms old", static_cast<long long>(age));
    else
        reason = sequenceTrouble(state.sequences);
    json body = {{"ok", reason.empty()}, {"line", lineStateName(snapshot->line)}};
    body["age_ms"] = age < 0 ? json(nullptr) : json(age);
    if (!reason.empty())
        body["reason"] = reason;
    reply(res, reason.empty() ? 200 : 503, body);
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

void counter(std::string& text, const char* name, const char* help, std::uint64_t value)
{
    text += format("# HELP %s %s\n# TYPE %s counter\n%s %llu\n", name, help, name, name,
                   static_cast<unsigned long long>(value));
}

// The broker's counters, when the service has a broker.
void mqttMetrics(std::string& text, const Metrics& m)
{
    counter(text, "gc6890_mqtt_published_total", "Messages handed to the broker.", m.mqttPublished);
    counter(text, "gc6890_mqtt_lost_total", "Events not published: the broker was away too long.",
            m.mqttLost);
    counter(text, "gc6890_mqtt_connects_total", "Connections made to the broker.", m.mqttConnects);
    counter(text, "gc6890_mqtt_callbacks_failed_total",
            "Exceptions caught in a broker callback or the publishing thread.", m.mqttFailures);
    text += "# HELP gc6890_mqtt_commands_total Commands from the broker by outcome.\n"
            "# TYPE gc6890_mqtt_commands_total counter\n";
    for (int outcome = 0; outcome < MqttCommands::kOutcomes; ++outcome)
        if (outcome != static_cast<int>(MqttCommands::Outcome::NotOurs))
            text += format("gc6890_mqtt_commands_total{outcome=\"%s\"} %llu\n",
                           MqttCommands::outcomeName(static_cast<MqttCommands::Outcome>(outcome)),
                           static_cast<unsigned long long>(m.mqttCommands[outcome].load()));
}

// The counters of polls, requests and subscribers, in the order /metrics has always given.
void serviceCounters(std::string& text, const ServiceState& state)
{
    const Metrics& m = state.metrics;
    counter(text, "gc6890_polls_total", "Polls of the GC and sampler that succeeded.", m.polls);
    counter(text, "gc6890_polls_failed_total", "Polls that failed.", m.failedPolls);
    counter(text, "gc6890_rebuilds_total", "Times the line came back after a failure.", m.rebuilds);
    counter(text, "gc6890_requests_cut_total",
            "Connections cut because a request ran past the service's deadline.", m.cutRequests);
    counter(text, "gc6890_unauthorized_total", "Requests refused for a missing or wrong token.",
            m.unauthorized);
    counter(text, "gc6890_requests_wrong_host_total",
            "Requests refused for a Host that is none of the service's names.", m.wrongHost);
    counter(text, "gc6890_requests_failed_total",
            "Requests whose handling failed inside the service (answered 500).", m.failedRequests);
    counter(text, "gc6890_connections_shed_total",
            "Connections answered 503 at once: too many waiting for their request or a thread.",
            m.shedConnections);
    counter(text, "gc6890_events_dropped_subscribers_total",
            "Event subscribers cut for falling behind or not reading.", state.events.dropped());
}

std::string metricsText(const ApiContext& api)
{
    const ServiceState& state = api.state;
    const Metrics& m = state.metrics;
    std::string text;
    serviceCounters(text, state);
    if (m.mqttConnected >= 0)
        mqttMetrics(text, m);
    counter(text, "gc6890_instrument_steps_failed_total",
            "Exceptions caught in a step of the instrument thread (a job, a task, a poll, a "
            "handler).",
            m.instrumentFailures);
    text += "# HELP gc6890_jobs_total Jobs by their state.\n# TYPE gc6890_jobs_total counter\n";
    for (JobState st : {JobState::Queued, JobState::Done, JobState::Failed})
        text += format("gc6890_jobs_total{state=\"%s\"} %llu\n", jobStateName(st),
                       static_cast<unsigned long long>(state.jobs.count(st)));
    text += format("# HELP gc6890_connections_waiting Connections waiting for their request.\n"
                   "# TYPE gc6890_connections_waiting gauge\ngc6890_connections_waiting %zu\n",
                   api.waitingConnections());
    text += format("# HELP gc6890_event_subscribers Event stream subscribers.\n"
                   "# TYPE gc6890_event_subscribers gauge\ngc6890_event_subscribers %zu\n",
                   state.events.subscribers());
    histogram(text, "gc6890_poll_seconds", "Time one poll of the GC and sampler took.",
              m.pollSeconds);
    histogram(text, "gc6890_exchange_seconds",
              "Time from a line written to the instrument to its answer.", m.exchangeSeconds);
    counter(text, "gc6890_exchanges_unanswered_total",
            "Lines written whose answer did not come (a time-out or a broken line).",
            m.unansweredExchanges);
    return text;
}

}  // namespace

void addAdminRoutes(RouteTable& s, const ApiContext& api)
{
    s.get("/api/v1/log", [](const Request& req, Response& res) {
        const long long lines = numberParam(req, "lines", 100, 1, 100000);
        res.set_content(lastLines(mapDrivePath(CHP6890ErrorLog::LogFileName().str()), lines),
                        "text/plain; charset=utf-8");
    });

    s.get("/api/v1/openapi.json", [&api](const Request&, Response& res) {
        std::ifstream file(api.openApiPath, std::ios::binary);
        if (!file)
            return fail(res, 404, "the API description is not installed (" + api.openApiPath + ")");
        std::ostringstream text;
        text << file.rdbuf();
        res.set_content(text.str(), kJsonType);
    });

    // The audit trail's lines, newest last, as `gc6890 audit show` selects them.
    s.get("/api/v1/audit", Action::ReadAudit, [&api](const Request& req, Response& res) {
        AuditFilter filter;
        filter.since = req.get_param_value("since");
        filter.user = req.get_param_value("user");
        filter.action = req.get_param_value("action");
        filter.limit = static_cast<std::size_t>(numberParam(req, "limit", 1000, 1, 100000));
        std::vector<json> lines;
        std::string error;
        if (!readAudit(api.state.audit.folder(), filter, lines, error))
            return fail(
                res, filter.since.empty() || !normalizedAuditTime(filter.since).empty() ? 500 : 400,
                error, filter.since.empty() ? "" : "since");
        reply(res, 200, {{"lines", lines}});
    });

    // Who the token names, for a client to show what its role allows (nulls without one).
    s.get("/api/v1/whoami", [&api](const Request& req, Response& res) {
        const std::optional<Caller> caller = api.caller(req);
        reply(res, 200,
              {{"name", caller ? json(caller->name) : json(nullptr)},
               {"role", caller ? json(roleName(caller->role)) : json(nullptr)}});
    });

    s.getOpen("/healthz", [&api](const Request&, Response& res) { health(api.state, res); });

    s.getOpen("/metrics", [&api](const Request&, Response& res) {
        res.set_content(metricsText(api), "text/plain; version=0.0.4");
    });

    // An admin breaks the instrument's lock (a scheduler that went away holding it); the
    // event names the account and the address it came from.
    s.post("/api/v1/lock/release", Action::BreakLock, [&api](const Request& req, Response& res) {
        parseJsonObject(req.body, {});
        const std::optional<Caller> caller = api.caller(req);
        const std::string by = (caller ? caller->name : std::string("an admin")) + " at " +
                               req.remote_addr + " (HTTP)";
        const std::optional<std::string> holder = api.state.lock.release(by);
        if (holder)
            api.state.events.log(
                1, "service", "the instrument's lock held by " + *holder + " was broken by " + by);
        reply(
            res, 200,
            {{"released", holder.has_value()}, {"holder", holder ? json(*holder) : json(nullptr)}});
    });
}

}  // namespace gc6890
