// The service's routes as a table of its own: each route's method, path pattern and
// handler, and the handling around them (a gate before the routes, the answer to an error
// status, the answer to an exception). HttpApi fills the table and registers it into the
// HTTP library; the fuzz harness runs requests through dispatch() directly, since the
// library cannot dispatch a request without a socket.
//
// No exception leaves anything registered from here: every handler, the gate and the error
// answer are wrapped, and an exception becomes the exception answer (a 500 unless the
// service's handler says otherwise). Should that answer throw too, a fixed 500 goes out.
#pragma once

#include <httplib.h>

#include <exception>
#include <functional>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "service/roles.h"

namespace gc6890 {

class RouteTable {
public:
    using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;
    // Before the routes: true when it answered the request itself (a refusal).
    using Gate = std::function<bool(const httplib::Request&, httplib::Response&)>;
    using Failure =
        std::function<void(const httplib::Request&, httplib::Response&, std::exception_ptr)>;
    struct Route;
    // Around the handler of every change (a POST or DELETE route): it calls the
    // handler (contained already) or answers without it.
    using Around = std::function<void(const httplib::Request&, httplib::Response&, const Route&,
                                      const Handler&)>;

    struct Route {
        std::string method;  // GET, POST or DELETE; a GET route answers HEAD too
        std::string pattern;
        std::regex regex;
        Handler handler;
        std::optional<Action> action;  // what the caller's role must allow; none: open to all
    };

    // Every route names the action it is (roles.h): a read, unless said otherwise.
    void get(const std::string& pattern, Handler handler);
    // A GET that needs more than a viewer's role (the audit trail, an admin's).
    void get(const std::string& pattern, Action action, Handler handler);
    // A GET that needs no token anywhere (the health check, the metrics).
    void getOpen(const std::string& pattern, Handler handler);
    void post(const std::string& pattern, Action action, Handler handler);
    void del(const std::string& pattern, Action action, Handler handler);
    void gate(Gate gate) { gate_ = std::move(gate); }
    // Called for an answer of status 400 or more that has no body yet.
    void onError(Handler handler) { error_ = std::move(handler); }
    void onException(Failure failure) { failure_ = std::move(failure); }
    void aroundChanges(Around around) { around_ = std::move(around); }
    // Called for every answer before it goes out (headers every answer carries).
    void onAnswer(Handler handler) { answer_ = std::move(handler); }

    const std::vector<Route>& routes() const { return routes_; }
    // The route a request of `method` ("HEAD" as GET) for `path` takes; null when none
    // (a file of the dashboard, or a 404). `matches` gets the pattern's groups.
    const Route* find(const std::string& method, const std::string& path,
                      std::smatch& matches) const;

    // Registers the routes and the handling around them into `server`.
    void install(httplib::Server& server) const;

    // The request as the library would route it, without a socket: the gate, then the first
    // route of its method whose pattern matches the whole path (req.matches set), else 404;
    // then the error answer for a status of 400 or more, then onAnswer. `req.path` is the
    // decoded path.
    void dispatch(httplib::Request& req, httplib::Response& res) const;

    // The handler with every exception turned into the exception answer.
    Handler contained(Handler handler) const;
    // The route's handler as it is called: contained, and inside aroundChanges for a change.
    Handler handlerOf(const Route& route) const;
    // The exception answer for the exception in flight; never throws.
    void answerException(const httplib::Request& req, httplib::Response& res,
                         std::exception_ptr error) const noexcept;
    // The gate's verdict; an exception in it is answered, and the request is then handled.
    bool gated(const httplib::Request& req, httplib::Response& res) const noexcept;
    // The error answer (when the answer has no body yet); never throws.
    void answerError(const httplib::Request& req, httplib::Response& res) const noexcept;
    // onAnswer; never throws.
    void finish(const httplib::Request& req, httplib::Response& res) const noexcept;

private:
    std::vector<Route> routes_;
    Gate gate_;
    Handler error_;
    Failure failure_;
    Handler answer_;
    Around around_;
};

}  // namespace gc6890
