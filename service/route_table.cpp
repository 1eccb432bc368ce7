#include "service/route_table.h"

namespace gc6890 {

namespace {

// What goes out when even the exception answer failed (memory exhausted, most likely).
void lastResort(httplib::Response& res) noexcept
{
    try {
        res.status = 500;
        res.body = "{\"error\":\"internal error\"}\n";
        res.set_header("Content-Type", "application/json");
    } catch (...) {
        res.status = 500;
    }
}

}  // namespace

void RouteTable::get(const std::string& pattern, Handler handler)
{
    routes_.push_back({"GET", pattern, std::regex(pattern), std::move(handler), Action::Read});
}

void RouteTable::get(const std::string& pattern, Action action, Handler handler)
{
    routes_.push_back({"GET", pattern, std::regex(pattern), std::move(handler), action});
}

void RouteTable::getOpen(const std::string& pattern, Handler handler)
{
    routes_.push_back({"GET", pattern, std::regex(pattern), std::move(handler), std::nullopt});
}

void RouteTable::post(const std::string& pattern, Action action, Handler handler)
{
    routes_.push_back({"POST", pattern, std::regex(pattern), std::move(handler), action});
}

void RouteTable::del(const std::string& pattern, Action action, Handler handler)
{
    routes_.push_back({"DELETE", pattern, std::regex(pattern), std::move(handler), action});
}

const RouteTable::Route* RouteTable::find(const std::string& method, const std::string& path,
                                          std::smatch& matches) const
{
    const std::string& routed = method == "HEAD" ? std::string("GET") : method;
    for (const Route& route : routes_)
        if (route.method == routed && std::regex_match(path, matches, route.regex))
            return &route;
    return nullptr;
}

RouteTable::Handler RouteTable::contained(Handler handler) const
{
    return
        [this, handler = std::move(handler)](const httplib::Request& req, httplib::Response& res) {
            try {
                handler(req, res);
            } catch (...) {
                answerException(req, res, std::current_exception());
            }
        };
}

RouteTable::Handler RouteTable::handlerOf(const Route& route) const
{
    Handler handler = contained(route.handler);
    if (!around_ || !route.action || route.method == "GET")
        return handler;
    return contained([this, &route, handler](const httplib::Request& req, httplib::Response& res) {
        around_(req, res, route, handler);
    });
}

void RouteTable::answerException(const httplib::Request& req, httplib::Response& res,
                                 std::exception_ptr error) const noexcept
{
    try {
        // A half-built answer (a header set, a streaming provider) must not go out with it.
        res = httplib::Response();
        res.version = "HTTP/1.1";
        if (failure_)
            failure_(req, res, error);
        if (res.status < 400)
            lastResort(res);
    } catch (...) {
        lastResort(res);
    }
}

bool RouteTable::gated(const httplib::Request& req, httplib::Response& res) const noexcept
{
    try {
        return gate_ && gate_(req, res);
    } catch (...) {
        answerException(req, res, std::current_exception());
        return true;
    }
}

void RouteTable::answerError(const httplib::Request& req, httplib::Response& res) const noexcept
{
    try {
        if (error_ && res.body.empty())
            error_(req, res);
    } catch (...) {
        answerException(req, res, std::current_exception());
    }
}

void RouteTable::finish(const httplib::Request& req, httplib::Response& res) const noexcept
{
    try {
        if (answer_)
            answer_(req, res);
    } catch (...) {
        answerException(req, res, std::current_exception());
    }
}

void RouteTable::install(httplib::Server& server) const
{
    for (const Route& route : routes_) {
        if (route.method == "GET")
            server.Get(route.pattern, handlerOf(route));
        else if (route.method == "DELETE")
            server.Delete(route.pattern, handlerOf(route));
        else
            server.Post(route.pattern, handlerOf(route));
    }
    server.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        return gated(req, res) ? httplib::Server::HandlerResponse::Handled
                               : httplib::Server::HandlerResponse::Unhandled;
    });
    server.set_error_handler(
        [this](const httplib::Request& req, httplib::Response& res) { answerError(req, res); });
    server.set_post_routing_handler(
        [this](const httplib::Request& req, httplib::Response& res) { finish(req, res); });
    // What the library's own code throws while it routes (the handlers' exceptions never
    // reach it).
    server.set_exception_handler(
        [this](const httplib::Request& req, httplib::Response& res, std::exception_ptr error) {
            answerException(req, res, error);
        });
}

void RouteTable::dispatch(httplib::Request& req, httplib::Response& res) const
{
    if (!gated(req, res)) {
        if (const Route* found = find(req.method, req.path, req.matches)) {
            handlerOf (*found)(req, res);
            if (res.status == -1)
                res.status = 200;
        } else
            res.status = 404;
    }
    if (res.status >= 400)
        answerError(req, res);
    finish(req, res);
}

}  // namespace gc6890
