#include "service/sequence_api.h"

#include <httplib.h>

#include <nlohmann/json.hpp>

#include "sequence/journal.h"
#include "sequence/recovery_plan.h"
#include "service/instrument_thread.h"
#include "service/job_requests.h"
#include "service/method_store.h"
#include "service/route_table.h"
#include "service/safe_text.h"
#include "service/sequence_control.h"

namespace gc6890 {

namespace {

using httplib::Request;
using httplib::Response;
using nlohmann::json;

// The longest a request waits for the instrument thread (a method download under way).
constexpr int kTaskWaitMs = 10000;

void reply(Response& res, int status, const json& body)
{
    res.status = status;
    res.set_content(jsonText(body) + "\n", "application/json");
}

void fail(Response& res, int status, const std::string& error)
{
    reply(res, status, {{"error", error}});
}

// A refused sequence file as the JSON error a method upload gives: the message, and its
// place and problem apart.
json fileErrorJson(const SequenceFileError& error)
{
    json body = {{"error", error.text()},
                 {"file", error.file},
                 {"line", error.line},
                 {"problem", error.problem}};
    if (error.column > 0)
        body["column"] = error.column;
    else
        body["key"] = error.key;
    return body;
}

// The name errors call the uploaded file by: the `file` parameter's last part.
std::string uploadName(const Request& req)
{
    std::string name = req.has_param("file") ? req.get_param_value("file") : "";
    name =
        name.substr(name.find_last_of('/') == std::string::npos ? 0 : name.find_last_of('/') + 1);
    std::erase_if(name, [](char c) { return static_cast<unsigned char>(c) < 0x20; });
    if (name.empty() || name.size() > 200)
        name = "sequence.toml";
    return name;
}

// The state of sequence `id`: the board's, else its journal's; null when there is none.
json sequenceState(const ServiceState& state, const std::string& id)
{
    if (const std::optional<std::string> live = state.sequences.find(id))
        return json::parse(*live);
    JournalContent content;
    std::string error;
    if (!readJournal(journalPath(journalFolder(), id), content, error))
        return nullptr;
    const RecoveryPlan plan = planRecovery(content.entries);
    return plan.ok ? sequenceJson(plan) : json(nullptr);
}

}  // namespace

void addSequenceRoutes(RouteTable& s, ServiceState& state, InstrumentThread& instrument,
                       const MethodStore& methods)
{
    s.post("/api/v1/sequences", [&state, &instrument, &methods](const Request& req, Response& res) {
        const std::string file = uploadName(req);
        Sequence sequence;
        SequenceFileError fileError;
        if (!parseSequence(req.body, file, sequence, fileError))
            return reply(res, 400, fileErrorJson(fileError));
        // Methods are the service's stored names, each present now.
        for (std::size_t r = 0; r < sequence.rows.size(); ++r) {
            const SequenceRow& row = sequence.rows[r];
            std::string why;
            const std::string name = plainMethodName(row.method, why);
            if (!name.empty() && !methods.read(name))
                why = "no method " + name + " in " + methods.folder();
            if (!why.empty())
                return reply(res, 400, fileErrorJson(rowMethodError(file, row, r + 1, why)));
        }
        std::string id, conflict, error;
        bool started = false;
        const bool inRun = state.jobs.inRun();
        const bool ran = instrument.runTask(
            [&] {
                started = instrument.sequences().start(file, req.body, sequence, inRun, id,
                                                       conflict, error);
            },
            kTaskWaitMs);
        if (!ran) {
            res.set_header("Retry-After", "5");
            return fail(res, 503, "the instrument thread is busy; try again");
        }
        if (!started)
            return conflict.empty() ? fail(res, 500, error)
                                    : fail(res, 409, "sequence refused: " + conflict);
        const std::string url = "/api/v1/sequences/" + id;
        res.set_header("Location", url);
        reply(res, 201, {{"id", id}, {"url", url}});
    });

    s.get("/api/v1/sequences", [&state](const Request&, Response& res) {
        std::vector<std::string> ids = journalRunIds(journalFolder());
        json list = json::array();
        for (auto id = ids.rbegin(); id != ids.rend() && list.size() < 100; ++id)
            list.push_back(*id);
        const auto [latest, text] = state.sequences.latest();
        reply(res, 200,
              {{"sequences", list},
               {"active",
                state.sequences.active().empty() ? json(nullptr) : json(state.sequences.active())},
               {"latest", latest.empty() ? json(nullptr) : json::parse(text)}});
    });

    s.get("/api/v1/sequences/([0-9A-Za-z-]+)", [&state](const Request& req, Response& res) {
        const json found = sequenceState(state, req.matches[1].str());
        if (found.is_null())
            return fail(res, 404, "no sequence " + req.matches[1].str());
        reply(res, 200, found);
    });

    s.post("/api/v1/sequences/([0-9A-Za-z-]+)/(pause|resume|abort)",
           [&state, &instrument](const Request& req, Response& res) {
               const std::string id = req.matches[1].str();
               const std::string action = req.matches[2].str();
               const json body = parseJsonObject(
                   req.body, action == "resume" ? std::vector<std::string>{"skip_row"}
                                                : std::vector<std::string>{});
               bool skipRow = false;
               if (body.contains("skip_row")) {
                   if (!body["skip_row"].is_boolean())
                       throw BadField{"skip_row", "skip_row must be true or false"};
                   skipRow = body["skip_row"].get<bool>();
               }
               if (sequenceState(state, id).is_null())
                   return fail(res, 404, "no sequence " + id);
               std::string error;
               bool done = false;
               const bool ran = instrument.runTask(
                   [&] {
                       SequenceControl& control = instrument.sequences();
                       done = action == "pause"    ? control.pause(id, error)
                              : action == "resume" ? control.resume(id, skipRow, error)
                                                   : control.abort(id, error);
                   },
                   kTaskWaitMs);
               if (!ran) {
                   res.set_header("Retry-After", "5");
                   return fail(res, 503, "the instrument thread is busy; try again");
               }
               if (!done)
                   return fail(res, 409, action + " refused: " + error);
               reply(res, 200, sequenceState(state, id));
           });
}

}  // namespace gc6890
