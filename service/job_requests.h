// What a request for a job says, checked the same way whichever way it came (the HTTP API
// or the broker): a JSON object of known fields, the method present in the folder, numbers
// in range. A fault throws BadField naming the field; nothing is submitted then.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "service/job_board.h"
#include "service/method_store.h"
#include "service/roles.h"

namespace gc6890 {

struct ServiceState;

struct BadField {
    std::string field;
    std::string error;
};

// `text` as a JSON object (empty text is {}) whose every field is one of `known`.
nlohmann::json parseJsonObject(const std::string& text, const std::vector<std::string>& known);

// The fields a job of `kind` takes: load {method}, run {method, vial, volume},
// zones {on}, stop and reset none.
std::vector<std::string> jobFields(JobKind kind);

// The action (roles.h) a job of `kind` is, at every door.
Action jobAction(JobKind kind);

// The job a checked body asks for.
JobRequest jobRequestOf(JobKind kind, const nlohmann::json& body, const MethodStore& methods);

// The audit line's parameters of a job: its method by name and SHA-256 (as stored now), the
// vial and volume of a run, the zones' switch.
nlohmann::json jobAuditParams(const JobRequest& request, const MethodStore& methods);

// A change refused because another client holds the instrument's lock.
struct LockConflict {
    std::string reason;       // "the instrument is locked by ..."
    std::string lockedUntil;  // when the lock lapses unless its holder uses it again
};

// The one lock check of every door (HTTP, MQTT, SiLA), for each change it asks: a job
// (submitJob), a method upload, a sequence started or resumed. `lockIdentifier`: the lock's
// identifier the change came with ("" from a door that has none). Stop, and a sequence's
// pause and abort, never ask: they are taken whoever holds the lock.
std::optional<LockConflict> lockConflict(ServiceState& state, const std::string& lockIdentifier);

// Hands the job to the board under the instrument's lock and the one-job-at-a-time rule;
// id 0 with the conflict when refused. A job from a door (request.origin) is in the audit
// trail: its acceptance written before it can start (not taken, `unrecorded`, when that
// fails: the door answers 503), its refusal, and its end (by the instrument thread).
JobBoard::Submitted submitJob(ServiceState& state, const JobRequest& request);
// What submitJob would answer now, refused or not (id 0 and no conflict when it would take
// the job); nothing is submitted.
JobBoard::Submitted jobConflict(ServiceState& state, const JobRequest& request);
// "load refused: a run is under way"
std::string refusal(const JobRequest& request, const std::string& conflict);

}  // namespace gc6890
