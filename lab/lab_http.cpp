#include "lab/lab_http.h"

#include <httplib.h>

#include <chrono>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

#include "lab/lab_metrics.h"
#include "service/http_api_replies.h"
#include "service/http_server.h"
#include "service/route_table.h"
#include "service/safe_text.h"
#include "service/snapshot.h"

namespace gc6890::lab {

namespace {

using httplib::Request;
using httplib::Response;

// The page hears the lab at least this often, even when nothing changed (the ages grow),
// and at most this often however busy the broker is.
constexpr int kRefreshMs = 2000;
constexpr int kMinGapMs = 250;

}  // namespace

LabHttp::LabHttp(LabModel& model, HttpFrontOptions options, Accounts& accounts,
                 std::string openApiPath)
    : model_(model), openApiPath_(std::move(openApiPath))
{
    options.threads = kMaxLabSubscribers + 16;
    front_ = std::make_unique<HttpFront>(
        std::move(options), accounts,
        HttpFrontCounters{.wrongHost = counters_.wrongHost,
                          .unauthorized = counters_.unauthorized,
                          .cutRequests = counters_.cutRequests,
                          .shedConnections = counters_.shedConnections,
                          .failedRequests = counters_.failedRequests},
        [](const std::string& text) { std::cerr << "gc6890 lab: " << loggable(text) << '\n'; });
    addRoutes();
    front_->install();
}

LabHttp::~LabHttp() = default;

void LabHttp::stop()
{
    stopping_ = true;
    front_->stop();
}

void LabHttp::addRoutes()
{
    RouteTable& s = front_->routes();
    s.get("/api/v1/lab",
          [this](const Request&, Response& res) { reply(res, 200, model_.toJson(unixNowMs())); });

    // One `lab` event at each change (and every kRefreshMs): the whole lab first, so that a
    // page that reconnects has it all again; then only the instruments that changed since
    // this stream's last event (LabModel::changesSince): with 50 instruments and an hour of
    // oven readings each, the whole lab is some 400 KB, a change a few KB.
    s.get("/api/v1/lab/events", [this](const Request&, Response& res) {
        if (++counters_.subscribers > kMaxLabSubscribers) {
            --counters_.subscribers;
            res.set_header("Retry-After", "10");
            return fail(res, 503, "too many event subscribers; try again later");
        }
        HttpServer::streamingAnswer();
        res.set_header("Cache-Control", "no-cache");
        res.set_header("X-Accel-Buffering", "no");
        // The version of the lab this stream's page has (0: nothing yet).
        auto seen = std::make_shared<std::uint64_t>(0);
        auto first = std::make_shared<bool>(true);
        res.set_chunked_content_provider(
            "text/event-stream",
            [this, seen, first](std::size_t, httplib::DataSink& sink) {
                try {
                    if (stopping_)
                        return false;
                    if (!*first) {
                        std::this_thread::sleep_for(std::chrono::milliseconds(kMinGapMs));
                        model_.waitForChange(*seen, kRefreshMs - kMinGapMs);
                    }
                    *first = false;
                    const nlohmann::json event = model_.changesSince(*seen, unixNowMs(), *seen);
                    const std::string text = "event: lab\ndata: " + jsonText(event) + "\n\n";
                    return sink.write(text.data(), text.size());
                } catch (const std::exception&) {
                    ++counters_.failedRequests;
                    return false;
                }
            },
            [this](bool) { --counters_.subscribers; });
    });

    s.getOpen("/metrics", [this](const Request&, Response& res) {
        std::string text = labMetrics(model_, unixNowMs());
        text += "# HELP gc6890_lab_http_refused_total requests refused (wrong Host, no token)\n"
                "# TYPE gc6890_lab_http_refused_total counter\n"
                "gc6890_lab_http_refused_total " +
                std::to_string(counters_.wrongHost + counters_.unauthorized) + "\n";
        res.set_content(text, "text/plain; version=0.0.4");
    });

    // Healthy while the broker is reached: without it the page shows the past.
    s.getOpen("/healthz", [this](const Request&, Response& res) {
        if (model_.brokerConnected())
            reply(res, 200, {{"ok", true}});
        else
            reply(res, 503, {{"ok", false}, {"reason", "the broker is not reached"}});
    });

    s.get("/api/v1/openapi.json", [this](const Request&, Response& res) {
        std::ifstream file(openApiPath_, std::ios::binary);
        if (!file)
            return fail(res, 404, "the API description is not installed (" + openApiPath_ + ")");
        std::ostringstream text;
        text << file.rdbuf();
        res.set_content(text.str(), kJsonType);
    });
}

}  // namespace gc6890::lab
