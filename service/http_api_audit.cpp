#include "service/http_api_audit.h"

#include <nlohmann/json.hpp>

#include "audit/sha256.h"
#include "service/http_api_replies.h"
#include "service/job_requests.h"
#include "service/method_store.h"
#include "service/service_state.h"

namespace gc6890 {

namespace {

using httplib::Request;
using httplib::Response;
using nlohmann::json;

// The last part of the request's path: the job's kind, the sequence's control.
std::string lastPart(const std::string& path)
{
    return path.substr(path.find_last_of('/') + 1);
}

// The method the path names (methods/{name}), as the routes check it; "" when not plain.
std::string methodOfPath(const Request& req)
{
    const std::string prefix = "/api/v1/methods/";
    std::string why;
    return req.path.starts_with(prefix) ? plainMethodName(req.path.substr(prefix.size()), why)
                                        : std::string();
}

// What the change is about, from the request (the answer adds the job or sequence made).
// A request whose body does not read says what it can: the route refuses it anyway.
json paramsOf(Action action, const Request& req, const MethodStore& methods)
{
    switch (action) {
    case Action::Load:
    case Action::Run:
    case Action::Stop:
    case Action::Reset:
    case Action::Zones:
        if (const std::optional<JobKind> kind = jobKindNamed(lastPart(req.path)))
            try {
                return jobAuditParams(
                    jobRequestOf(*kind, parseJsonObject(req.body, jobFields(*kind)), methods),
                    methods);
            } catch (const BadField&) {
            }
        return json::object();
    case Action::UploadMethod:
        // The bytes stored are the body's.
        return methodAuditParams(methodOfPath(req), req.body);
    case Action::DeleteMethod: {
        const std::string name = methodOfPath(req);
        const std::optional<std::string> content = methods.read(name);
        return content ? methodAuditParams(name, *content) : json{{"method", name}};
    }
    case Action::RunSequence:
        if (req.path == "/api/v1/sequences")
            return {{"file", req.get_param_value("file").substr(0, 200)},
                    {"sha256", sha256Hex(req.body)}};
        {
            json params = {
                {"sequence", req.path.substr(std::string("/api/v1/sequences/").size(),
                                             req.path.find_last_of('/') -
                                                 std::string("/api/v1/sequences/").size())}};
            // A resume that skips the paused row says so: the row is never injected.
            const json body = json::parse(req.body, nullptr, false);
            if (body.is_object() && body.contains("skip_row") && body["skip_row"] == true)
                params["skip_row"] = true;
            return params;
        }
    case Action::Read:
    case Action::Lock:
    case Action::BreakLock:
    case Action::ReadAudit:
        break;
    }
    return json::object();
}

// The answer's JSON body; null when it has none.
json answerBody(const Response& res)
{
    return json::parse(res.body, nullptr, false);
}

}  // namespace

std::string httpAuditAction(const RouteTable::Route& route, const Request& req)
{
    const Action action = route.action.value_or(Action::Read);
    if (action == Action::RunSequence)
        return "sequence-" + (req.path == "/api/v1/sequences" ? "start" : lastPart(req.path));
    return actionWord(action);
}

void auditedChange(ServiceState& state, const MethodStore& methods, const AuditOrigin& origin,
                   const RouteTable::Route& route, const Request& req, Response& res,
                   const RouteTable::Handler& handler)
{
    std::string error;
    if (!state.audit.usable(error))
        return fail(res, 503, error);
    const Action action = route.action.value_or(Action::Read);
    json params = paramsOf(action, req, methods);
    handler(req, res);
    // A job that reached the board (taken 202, refused 409, unrecorded 503) has its line
    // from submitJob, as at every door.
    const bool jobRoute = action == Action::Load || action == Action::Run ||
                          action == Action::Stop || action == Action::Reset ||
                          action == Action::Zones;
    if (jobRoute && (res.status == 202 || res.status == 409 || res.status == 503))
        return;
    const json body = answerBody(res);
    const std::string problem =
        body.is_object() && body.contains("error") && body["error"].is_string()
            ? body["error"].get<std::string>()
            : std::string();
    if (res.status < 300 && body.is_object()) {
        if (action == Action::RunSequence && body.contains("id"))
            params["sequence"] = body["id"];
        if (action == Action::BreakLock && body.contains("holder"))
            params["holder"] = body["holder"];
    }
    if (!state.audit.record(origin, httpAuditAction(route, req), params,
                            auditResult(res.status, problem), error)) {
        res.headers.clear();
        fail(res, 503, error);
    }
}

void auditRefusal(ServiceState& state, const Admission& admission, const std::string& action,
                  const Request& req, const std::string& refusal)
{
    if (!admission.caller) {
        state.audit.tokenless("http", req.remote_addr);
        return;
    }
    std::string error;
    // A refusal's line that cannot be written changes nothing for the caller: refused all
    // the same; the trail's failure stops the next change.
    state.audit.record(auditOrigin(admission.caller, "http", req.remote_addr), action,
                       json::object(), "refused: " + refusal, error);
}

}  // namespace gc6890
