// The sequence routes: a sequence file started, the sequences' states (the board's, else
// their journal's), and pause, resume and abort. Every change is a task on the instrument
// thread.
#include <httplib.h>

#include <nlohmann/json.hpp>

#include "sequence/journal.h"
#include "sequence/recovery_plan.h"
#include "service/http_api_replies.h"
#include "service/http_api_routes.h"
#include "service/instrument_thread.h"
#include "service/job_requests.h"
#include "service/method_store.h"
#include "service/route_table.h"
#include "service/safe_text.h"
#include "service/sequence_control.h"
#include "service/sequence_start.h"

namespace gc6890 {

namespace {

using httplib::Request;
using httplib::Response;
using nlohmann::json;

constexpr const char* kBusy = "the instrument thread is busy; try again";

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

// POST /api/v1/sequences: the file checked, its methods present, then started.
void startSequence(const ApiContext& api, const Request& req, Response& res)
{
    if (lockedOut(api.state, res, "sequence"))
        return;
    const std::string file = uploadName(req);
    Sequence sequence;
    SequenceFileError fileError;
    if (!checkStoredSequence(req.body, file, api.methods, sequence, fileError))
        return reply(res, 400, fileErrorJson(fileError));
    SequenceStart start;
    if (!runTaskOr503(
            api.instrument, res,
            [&] { start = startSequence(api.instrument, api.state, file, req.body, sequence, ""); },
            kBusy))
        return;
    if (!start.started)
        return start.conflict.empty() ? fail(res, 500, start.error)
                                      : fail(res, 409, "sequence refused: " + start.conflict);
    const std::string& id = start.id;
    const std::string url = "/api/v1/sequences/" + id;
    created(res, 201, url, {{"id", id}, {"url", url}});
}

// POST /api/v1/sequences/{id}/pause|resume|abort.
void controlSequence(const ApiContext& api, const Request& req, Response& res)
{
    const std::string id = req.matches[1].str();
    const std::string action = req.matches[2].str();
    const json body =
        parseJsonObject(req.body, action == "resume" ? std::vector<std::string>{"skip_row"}
                                                     : std::vector<std::string>{});
    bool skipRow = false;
    if (body.contains("skip_row")) {
        if (!body["skip_row"].is_boolean())
            throw BadField{"skip_row", "skip_row must be true or false"};
        skipRow = body["skip_row"].get<bool>();
    }
    if (sequenceState(api.state, id).is_null())
        return fail(res, 404, "no sequence " + id);
    // Pause and abort are taken whoever holds the instrument's lock; a resume would inject
    // again, so it waits for the lock like a sequence's start.
    if (action == "resume" && lockedOut(api.state, res, "resume"))
        return;
    std::string error;
    bool done = false;
    if (!runTaskOr503(
            api.instrument, res,
            [&] {
                SequenceControl& control = api.instrument.sequences();
                done = action == "pause"    ? control.pause(id, error)
                       : action == "resume" ? control.resume(id, skipRow, error)
                                            : control.abort(id, error);
            },
            kBusy))
        return;
    if (!done)
        return fail(res, 409, action + " refused: " + error);
    reply(res, 200, sequenceState(api.state, id));
}

}  // namespace

void addSequenceRoutes(RouteTable& s, const ApiContext& api)
{
    s.post("/api/v1/sequences", Action::RunSequence,
           [&api](const Request& req, Response& res) { startSequence(api, req, res); });

    const ServiceState& state = api.state;
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

    s.post("/api/v1/sequences/([0-9A-Za-z-]+)/(pause|resume|abort)", Action::RunSequence,
           [&api](const Request& req, Response& res) { controlSequence(api, req, res); });
}

}  // namespace gc6890
