#include "service/job_requests.h"

#include <algorithm>
#include <array>

#include "platform/enum_names.h"
#include "sequence/injection_limits.h"
#include "service/service_state.h"
#include "station/safe_text.h"

namespace gc6890 {

using nlohmann::json;

json parseJsonObject(const std::string& text, const std::vector<std::string>& known)
{
    json body = json::object();
    if (text.find_first_not_of(" \t\r\n") != std::string::npos) {
        try {
            body = json::parse(text);
        } catch (const json::exception& error) {
            // A parse error, or a number beyond a double's range (1e400).
            throw BadField{"body", std::string("not JSON: ") + error.what()};
        }
    }
    if (!body.is_object())
        throw BadField{"body", "a JSON object is expected"};
    for (const auto& [key, value] : body.items()) {
        if (std::find(known.begin(), known.end(), key) == known.end())
            throw BadField{key, "unknown field " + key};
    }
    return body;
}

namespace {

// What each kind of job is asked with (its request body's keys) and which role's action it
// is, in one row a kind.
struct JobKindRow {
    JobKind kind;
    Action action;
    std::array<const char*, 3> fields;
};

constexpr EnumRows kJobKinds(
    {
        JobKindRow{JobKind::Load, Action::Load, {"method"}},
        JobKindRow{JobKind::Run, Action::Run, {"method", "vial", "volume"}},
        JobKindRow{JobKind::Stop, Action::Stop, {}},
        JobKindRow{JobKind::Reset, Action::Reset, {}},
        JobKindRow{JobKind::Zones, Action::Zones, {"on"}},
    },
    &JobKindRow::kind, JobKind::Zones);

}  // namespace

std::vector<std::string> jobFields(JobKind kind)
{
    std::vector<std::string> fields;
    for (const char* field : kJobKinds[kind].fields) {
        if (field)
            fields.emplace_back(field);
    }
    return fields;
}

Action jobAction(JobKind kind)
{
    return kJobKinds[kind].action;
}

namespace {

std::string methodField(const json& body, const MethodStore& methods)
{
    if (!body.contains("method"))
        throw BadField{"method", "method is required"};
    if (!body["method"].is_string())
        throw BadField{"method", "method must be a text"};
    std::string why;
    const std::string name = plainMethodName(body["method"].get<std::string>(), why);
    if (name.empty())
        throw BadField{"method", why};
    if (!methods.read(name))
        throw BadField{"method", "no method " + name + " in " + methods.folder()};
    return name;
}

}  // namespace

JobRequest jobRequestOf(JobKind kind, const json& body, const MethodStore& methods)
{
    JobRequest request;
    request.kind = kind;
    if (kind == JobKind::Load || kind == JobKind::Run)
        request.method = methodField(body, methods);
    if (kind == JobKind::Run) {
        if (!body.contains("vial"))
            throw BadField{"vial", "vial is required"};
        const std::optional<std::int64_t> vial = wholeField(body, "vial");
        if (!vial || *vial < kVialMin || *vial > kVialMax)
            throw BadField{"vial", "vial must be a whole number from " + std::to_string(kVialMin) +
                                       " to " + std::to_string(kVialMax)};
        request.vial = static_cast<int>(*vial);
        if (body.contains("volume")) {
            if (!body["volume"].is_number() || !volumeInRange(body["volume"].get<double>()))
                throw BadField{"volume", volumeRangeText()};
            request.volume = body["volume"].get<float>();
        }
    }
    if (kind == JobKind::Zones) {
        if (!body.contains("on") || !body["on"].is_boolean())
            throw BadField{"on", "on must be true or false"};
        request.on = body["on"].get<bool>();
    }
    return request;
}

json jobAuditParams(const JobRequest& request, const MethodStore& methods)
{
    json params = json::object();
    if (!request.method.empty()) {
        const std::optional<std::string> content = methods.read(request.method);
        params = content ? methodAuditParams(request.method, *content)
                         : json{{"method", request.method}};
    }
    if (request.kind == JobKind::Run) {
        params["vial"] = request.vial;
        params["volume"] = request.volume;
    }
    if (request.kind == JobKind::Zones)
        params["on"] = request.on;
    return params;
}

std::optional<LockConflict> lockConflict(ServiceState& state, const std::string& lockIdentifier)
{
    const std::optional<InstrumentLock::Held> held = state.lock.refuses(lockIdentifier);
    if (!held)
        return std::nullopt;
    const std::string until = lockedUntil(*held);
    return LockConflict{"the instrument is locked by " + held->holder + " until " + until +
                            " (POST /api/v1/lock/release breaks the lock)",
                        until};
}

namespace {

// Why the job is refused before the board is asked: the lock, or a sequence under way.
JobBoard::Submitted refusedBeforeTheBoard(ServiceState& state, const JobRequest& request)
{
    // A stop is always taken, whoever holds the lock. A reset moves the sampler, so it
    // waits for the lock like every other job.
    if (request.kind != JobKind::Stop)
        if (const std::optional<LockConflict> locked = lockConflict(state, request.lockIdentifier))
            return {0, locked->reason, locked->lockedUntil};
    // A sequence owns the instrument while it runs or is paused: it loads and injects
    // itself. Stop is always taken (it pauses the sequence); a reset may free a stuck sampler.
    const std::string sequence = state.sequences.active();
    if (!sequence.empty() && request.kind != JobKind::Stop && request.kind != JobKind::Reset)
        return {0, "the sequence " + sequence + " is under way", {}};
    return {};
}

}  // namespace

JobBoard::Submitted submitJob(ServiceState& state, const JobRequest& request)
{
    JobBoard::Submitted submitted = refusedBeforeTheBoard(state, request);
    if (request.origin.door.empty())  // no door: no line (a sequence's own steps)
        return submitted.conflict.empty() ? state.jobs.submit(request) : submitted;
    const std::string action = jobKindName(request.kind);
    if (submitted.conflict.empty())
        submitted = state.jobs.submit(request, [&](std::uint64_t id, std::string& error) {
            json params = request.auditParams.is_object() ? request.auditParams : json::object();
            params["job"] = id;
            return state.audit.record(request.origin, action, params, "accepted", error);
        });
    // A refusal's line that cannot be written leaves the caller refused all the same.
    std::string error;
    if (submitted.id == 0 && !submitted.unrecorded)
        state.audit.record(request.origin, action, request.auditParams,
                           "refused: " + submitted.conflict, error);
    return submitted;
}

JobBoard::Submitted jobConflict(ServiceState& state, const JobRequest& request)
{
    JobBoard::Submitted refused = refusedBeforeTheBoard(state, request);
    if (refused.conflict.empty())
        refused.conflict = state.jobs.conflict(request);
    return refused;
}

std::string refusal(const JobRequest& request, const std::string& conflict)
{
    return std::string(jobKindName(request.kind)) + " refused: " + conflict;
}

}  // namespace gc6890
