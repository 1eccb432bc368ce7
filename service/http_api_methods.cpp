// The method routes: the folder's list, a stored method's file, summary and experiment
// record, and an upload checked as the library reads it before it is stored.
#include <httplib.h>

#include <cstdlib>
#include <nlohmann/json.hpp>

#include "sequence/injection_limits.h"
#include "service/http_api_replies.h"
#include "service/http_api_routes.h"
#include "service/instrument_thread.h"
#include "service/job_requests.h"
#include "service/method_store.h"
#include "service/method_summary.h"
#include "service/route_table.h"
#include "service/service_state.h"
#include "service/snapshot.h"

namespace gc6890 {

namespace {

using httplib::Request;
using httplib::Response;
using nlohmann::json;

// The method the path names ({name}); throws BadField for a name that is not plain.
std::string nameOf(const Request& req)
{
    std::string why;
    const std::string name = plainMethodName(req.matches[1].str(), why);
    if (name.empty())
        throw BadField{"name", why};
    return name;
}

// The stored method's text; nothing, answered 404, when there is none of that name.
std::optional<std::string> storedOr404(const MethodStore& methods, const std::string& name,
                                       Response& res)
{
    std::optional<std::string> text = methods.read(name);
    if (!text)
        fail(res, 404, "no method " + name + " in " + methods.folder());
    return text;
}

// The upload of a method; an earlier one of that name is kept as a version, the caller
// noted as the new one's uploader.
void upload(const ApiContext& api, const Request& req, Response& res)
{
    const std::string name = nameOf(req);
    if (lockedOut(api.state, res, "upload"))
        return;
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
    const std::optional<Caller> caller = api.caller(req);
    if (!api.methods.store(name, req.body, caller ? caller->name : "", error))
        return fail(res, 500, error);
    reply(res, 201, {{"name", name}, {"run_length_min", check.runLengthMin}});
}

// An admin's removal of a stored method; the event names who.
void remove(const ApiContext& api, const Request& req, Response& res)
{
    const std::string name = nameOf(req);
    if (lockedOut(api.state, res, "delete"))
        return;
    if (!storedOr404(api.methods, name, res))
        return;
    std::string error;
    if (!api.methods.remove(name, error))
        return fail(res, 500, error);
    const std::optional<Caller> caller = api.caller(req);
    api.state.events.log(1, "service",
                         "the method " + name + " was deleted by " +
                             (caller ? caller->name : std::string("an admin")) + " (HTTP)");
    reply(res, 200, {{"deleted", name}});
}

// The injection volume of ?volume= (µL), 1 when absent.
float volumeParam(const Request& req)
{
    if (!req.has_param("volume"))
        return 1.0f;
    const std::string text = req.get_param_value("volume");
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);  // the service runs in "C"
    if (text.empty() || *end || !volumeInRange(value))
        throw BadField{"volume", volumeRangeText()};
    return static_cast<float>(value);
}

// The experiment record, written on the instrument thread (it reads the library's objects).
void record(const ApiContext& api, const Request& req, Response& res)
{
    const std::string name = nameOf(req);
    if (!storedOr404(api.methods, name, res))
        return;
    const float volume = volumeParam(req);
    std::string text;
    bool ok = false;
    const std::string file = api.methods.path(name);
    if (!runTaskOr503(
            api.instrument, res, [&] { ok = api.instrument.writeRecord(file, volume, text); },
            "the instrument thread is busy with a job; try again"))
        return;
    if (!ok)
        return fail(res, 500, "the record of " + name + " could not be written");
    res.set_content(text, "text/plain; charset=utf-8");
}

}  // namespace

void addMethodRoutes(RouteTable& s, const ApiContext& api)
{
    const MethodStore& methods = api.methods;
    s.get("/api/v1/methods", [&methods](const Request&, Response& res) {
        json list = json::array();
        for (const MethodEntry& entry : methods.list())
            list.push_back({{"name", entry.name},
                            {"size", entry.size},
                            {"modified", isoTime(entry.modifiedMs)}});
        reply(res, 200, {{"folder", methods.folder()}, {"methods", list}});
    });
    s.get("/api/v1/methods/([^/]+)", [&methods](const Request& req, Response& res) {
        if (const std::optional<std::string> text = storedOr404(methods, nameOf(req), res))
            res.set_content(*text, "application/toml");
    });
    s.post("/api/v1/methods/([^/]+)", Action::UploadMethod,
           [&api](const Request& req, Response& res) { upload(api, req, res); });
    s.del("/api/v1/methods/([^/]+)", Action::DeleteMethod,
          [&api](const Request& req, Response& res) { remove(api, req, res); });
    s.get("/api/v1/methods/([^/]+)/summary", [&methods](const Request& req, Response& res) {
        const std::string name = nameOf(req);
        const std::optional<std::string> text = storedOr404(methods, name, res);
        if (!text)
            return;
        const std::optional<json> summary = methodSummary(*text, name + ".toml");
        if (!summary)
            return fail(res, 500, "the stored method " + name + " cannot be read");
        reply(res, 200, *summary);
    });
    // Every version, oldest first; a method deleted keeps its versions, none current.
    s.get("/api/v1/methods/([^/]+)/versions", [&methods](const Request& req, Response& res) {
        const std::string name = nameOf(req);
        json versions = json::array();
        for (const MethodVersion& version : methods.versions(name))
            versions.push_back({{"time", version.time},
                                {"sha256", version.sha256},
                                {"user", version.user},
                                {"current", version.current}});
        if (versions.empty())
            return fail(res, 404, "no method " + name + " in " + methods.folder());
        reply(res, 200, {{"name", name}, {"versions", versions}});
    });
    s.get("/api/v1/methods/([^/]+)/record",
          [&api](const Request& req, Response& res) { record(api, req, res); });
}

}  // namespace gc6890
