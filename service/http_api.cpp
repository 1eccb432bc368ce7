#include "service/http_api.h"

#include <httplib.h>

#include <iostream>

#include "service/http_api_audit.h"
#include "service/http_api_routes.h"
#include "service/route_table.h"
#include "service/safe_text.h"

namespace gc6890 {

HttpApi::HttpApi(ServiceState& state, InstrumentThread& instrument, MethodStore methods,
                 std::string openApiPath)
    : state_(state), instrument_(instrument), methods_(std::move(methods)),
      front_(std::make_unique<HttpFront>(
          HttpFrontOptions{.listen = state.options.listen,
                           .allowHosts = state.options.allowHosts,
                           .openReads = state.options.openReads,
                           .threads = kPoolThreads},
          state.accounts,
          HttpFrontCounters{.wrongHost = state.metrics.wrongHost,
                            .unauthorized = state.metrics.unauthorized,
                            .cutRequests = state.metrics.cutRequests,
                            .shedConnections = state.metrics.shedConnections,
                            .failedRequests = state.metrics.failedRequests},
          [this](const std::string& text) {
              std::cerr << "gc6890 serve: " << loggable(text) << '\n';
              state_.events.log(1, "service", loggable(text));
          }))
{
    context_ = std::make_unique<ApiContext>(ApiContext{
        .state = state_,
        .instrument = instrument_,
        .methods = methods_,
        .openApiPath = std::move(openApiPath),
        .notice = [this](const std::string& kind, const std::string& address,
                         const std::string& text) { front_->notice(kind, address, text); },
        .waitingConnections = [this] { return front_->waitingConnections(); },
        .caller = [this](const httplib::Request& req) { return front_->caller(req); },
        .readRecheck = [this](const httplib::Request& req) { return front_->readRecheck(req); },
    });
    RouteTable& s = front_->routes();
    // The audit trail: each change's line around its handler, each refusal's at the door.
    s.aroundChanges([this](const httplib::Request& req, httplib::Response& res,
                           const RouteTable::Route& route, const RouteTable::Handler& handler) {
        auditedChange(state_, methods_, auditOrigin(front_->caller(req), "http", req.remote_addr),
                      route, req, res, handler);
    });
    front_->onRefusal([this](const httplib::Request& req, const RouteTable::Route* route,
                             const Admission& admission) {
        auditRefusal(state_, admission, route ? httpAuditAction(*route, req) : "read", req,
                     admission.refusal());
    });
    addStatusRoutes(s, *context_);
    addJobRoutes(s, *context_);
    addMethodRoutes(s, *context_);
    addSequenceRoutes(s, *context_);
    addAdminRoutes(s, *context_);
    front_->install();
}

HttpApi::~HttpApi() = default;

int HttpApi::bind(const std::string& listen, std::string& error)
{
    return front_->bind(listen, error);
}

bool HttpApi::serveFiles(const std::string& webDir, const std::string& chartJsDir)
{
    return front_->serveFolder("/chart.js", chartJsDir) && front_->serveFolder("/", webDir);
}

void HttpApi::useTls(const std::string& certificateFile, const std::string& keyFile)
{
    front_->useTls(certificateFile, keyFile);
}

void HttpApi::serve()
{
    front_->serve();
}

void HttpApi::stop()
{
    front_->stop();
}

const RouteTable& HttpApi::routes() const
{
    return front_->routes();
}

}  // namespace gc6890
