// The answers every route group gives the same way: a JSON body, a JSON error, a resource
// made, a task run on the instrument thread or a 503, a number from the query.
#pragma once

#include <httplib.h>

#include <functional>
#include <nlohmann/json.hpp>
#include <string>

namespace gc6890 {

class InstrumentThread;
struct ServiceState;

inline constexpr const char* kJsonType = "application/json";

// The body as one line of JSON (text made safe by jsonText) with `status`.
void reply(httplib::Response& res, int status, const nlohmann::json& body);
// {"error": error} with `status`, and "field" when a field of the request is at fault.
void fail(httplib::Response& res, int status, const std::string& error,
          const std::string& field = {});
// 409 for a change refused because another client holds the instrument's lock:
// {"error": "<what> refused: <reason>", "reason", "locked_until"}.
void lockedOut(httplib::Response& res, const std::string& what, const std::string& reason,
               const std::string& lockedUntil);
// Answers 409 and says yes when the instrument's lock refuses the change `what` (a
// method upload, a sequence started or resumed; jobs ask submitJob).
bool lockedOut(ServiceState& state, httplib::Response& res, const std::string& what);

// `status` (201, 202) with the new resource's URL in Location and `body`.
void created(httplib::Response& res, int status, const std::string& url,
             const nlohmann::json& body);

// Runs `task` on the instrument thread (InstrumentThread::runTask). False when it did not
// run: the answer is then 503 `busy` with Retry-After.
bool runTaskOr503(InstrumentThread& instrument, httplib::Response& res,
                  const std::function<void()>& task, const std::string& busy);

// Optional query parameter as a whole number in [low, high]; throws BadField otherwise.
long long numberParam(const httplib::Request& req, const char* name, long long fallback,
                      long long low, long long high);

}  // namespace gc6890
