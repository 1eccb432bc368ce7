// The route groups of the HTTP API, one file each, and what they share: the service's
// state, the instrument thread, the method folder and the notices. HttpApi makes one
// ApiContext and has each group register its routes into the route table; every handler
// runs on a pool thread, inside the table's containment (an exception becomes a JSON 500,
// counted in /metrics).
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "service/accounts.h"

namespace httplib {
struct Request;
}

namespace gc6890 {

class InstrumentThread;
class MethodStore;
class RouteTable;
struct ServiceState;

struct ApiContext {
    ServiceState& state;
    InstrumentThread& instrument;
    const MethodStore& methods;
    std::string openApiPath;  // the API description served at /api/v1/openapi.json
    // A notice for the log, at most once an interval an address (notice_limiter.h).
    std::function<void(const std::string& kind, const std::string& address,
                       const std::string& text)>
        notice;
    std::function<std::size_t()> waitingConnections;  // for /metrics
    // Whom the request's bearer token names; nothing without one.
    std::function<std::optional<Caller>(const httplib::Request&)> caller;
    // Whether the request's caller may still read, asked again at each call (HttpFront).
    std::function<std::function<bool()>(const httplib::Request&)> readRecheck;
};

// GET /api/v1/status, /api/v1/history and /api/v1/events (http_api_status.cpp).
void addStatusRoutes(RouteTable& routes, const ApiContext& api);
// GET /api/v1/jobs/{id}; POST /api/v1/load|run|stop|reset|zones (http_api_jobs.cpp).
void addJobRoutes(RouteTable& routes, const ApiContext& api);
// GET /api/v1/methods, /api/v1/methods/{name}[/summary|/record|/versions]; POST and DELETE
// /api/v1/methods/{name} (http_api_methods.cpp).
void addMethodRoutes(RouteTable& routes, const ApiContext& api);
// POST /api/v1/sequences, GET /api/v1/sequences[/{id}], POST
// /api/v1/sequences/{id}/pause|resume|abort (http_api_sequences.cpp).
void addSequenceRoutes(RouteTable& routes, const ApiContext& api);
// GET /api/v1/log, /api/v1/openapi.json, /api/v1/whoami, /healthz and /metrics; POST
// /api/v1/lock/release (http_api_admin.cpp).
void addAdminRoutes(RouteTable& routes, const ApiContext& api);

}  // namespace gc6890
