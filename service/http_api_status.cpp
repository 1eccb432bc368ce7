// The status routes: the merged status, the history of readings and the event stream.
#include <httplib.h>

#include <memory>
#include <nlohmann/json.hpp>

#include "service/http_api.h"
#include "service/http_api_replies.h"
#include "service/http_api_routes.h"
#include "service/http_server.h"
#include "service/job_requests.h"
#include "service/route_table.h"
#include "service/safe_text.h"
#include "service/service_state.h"
#include "service/status_history.h"

namespace gc6890 {

namespace {

using httplib::Request;
using httplib::Response;
using nlohmann::json;

// A subscriber hears at least this often (a comment line), so that dead ones are found.
constexpr int kKeepAliveMs = 15000;

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

// The event stream from the event after Last-Event-ID (the backlog's oldest when absent).
void streamEvents(const ApiContext& api, const Request& req, Response& res)
{
    std::optional<std::uint64_t> last;
    if (req.has_header("Last-Event-ID")) {
        try {
            last = std::stoull(req.get_header_value("Last-Event-ID"));
        } catch (const std::exception&) {
            throw BadField{"Last-Event-ID", "Last-Event-ID must be an event id"};
        }
    }
    std::shared_ptr<EventHub::Subscription> subscription = api.state.events.subscribe(last);
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
        "text/event-stream", [&api, subscription, stalledSince, mayRead = api.readRecheck(req),
                              address = req.remote_addr](std::size_t, httplib::DataSink& sink) {
            try {
                // The account may be removed while its stream is open: the stream ends at
                // the next event (each poll brings one), and a reconnection is refused.
                if (!mayRead())
                    return false;
                return writeEvents(*subscription, sink, *stalledSince);
            } catch (const std::exception& error) {
                ++api.state.metrics.failedRequests;
                api.notice("failed requests", address,
                           "the event stream to " + address + " failed: " + error.what());
                return false;
            }
        });
}

}  // namespace

void addStatusRoutes(RouteTable& s, const ApiContext& api)
{
    ServiceState& state = api.state;
    s.get("/api/v1/status", [&state](const Request&, Response& res) {
        const auto snapshot = state.snapshot.get();
        const std::optional<Job> job = state.jobs.current();
        res.set_content(
            jsonText(statusObject(*snapshot, job ? job->toJson() : nullptr, steadyNowMs())) + "\n",
            kJsonType);
    });

    s.get("/api/v1/history", [&state](const Request& req, Response& res) {
        const long long seconds = numberParam(req, "seconds", 3600, 1, 7 * 24 * 3600);
        const std::vector<HistorySample> samples =
            state.history.since(unixNowMs() - seconds * 1000);
        json body = historyJson(samples);
        body["seconds"] = seconds;
        body["period_ms"] = state.pollMs.load();
        reply(res, 200, body);
    });

    s.get("/api/v1/events",
          [&api](const Request& req, Response& res) { streamEvents(api, req, res); });
}

}  // namespace gc6890
