#include "service/http_api_replies.h"

#include "platform/platform.h"
#include "service/instrument_thread.h"
#include "service/job_requests.h"
#include "service/safe_text.h"

namespace gc6890 {

void reply(httplib::Response& res, int status, const nlohmann::json& body)
{
    res.status = status;
    res.set_content(jsonText(body) + "\n", kJsonType);
}

void fail(httplib::Response& res, int status, const std::string& error, const std::string& field)
{
    nlohmann::json body = {{"error", error}};
    if (!field.empty())
        body["field"] = field;
    reply(res, status, body);
}

void lockedOut(httplib::Response& res, const std::string& what, const std::string& reason,
               const std::string& lockedUntil)
{
    reply(res, 409,
          {{"error", what + " refused: " + reason},
           {"reason", reason},
           {"locked_until", lockedUntil}});
}

bool lockedOut(ServiceState& state, httplib::Response& res, const std::string& what)
{
    const std::optional<LockConflict> locked = lockConflict(state, "");
    if (locked)
        lockedOut(res, what, locked->reason, locked->lockedUntil);
    return locked.has_value();
}

void created(httplib::Response& res, int status, const std::string& url, const nlohmann::json& body)
{
    res.set_header("Location", url);
    reply(res, status, body);
}

bool runTaskOr503(InstrumentThread& instrument, httplib::Response& res,
                  const std::function<void()>& task, const std::string& busy)
{
    if (instrument.runTask(task))
        return true;
    res.set_header("Retry-After", "5");
    fail(res, 503, busy);
    return false;
}

long long numberParam(const httplib::Request& req, const char* name, long long fallback,
                      long long low, long long high)
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

}  // namespace gc6890
