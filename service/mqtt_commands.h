// The commands a broker brings (gc6890/NAME/cmd/KIND), decided without the broker: a topic,
// a payload and its retain flag in, the answer for gc6890/NAME/reply/ID and the job handed
// to `submit` out. The bridge calls it from libmosquitto's thread; the fuzz harness
// (fuzz/fuzz_mqtt_commands.cpp) calls it directly. One thread at a time.
//
// Cheap checks come before any parsing: the topic, the retain flag and the size; then one
// pass that bounds the nesting and finds the id without building the document; then the
// id window, the command's name and the --mqtt-commands switch; then the caller's token
// (its "token" field) and role, as every door admits them (accounts.h); only then is the
// payload read as the request it claims to be (the HTTP API's own checks, job_requests.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "service/accounts.h"
#include "service/audit_log.h"
#include "service/job_board.h"
#include "service/method_store.h"

namespace gc6890 {

class MqttCommands {
public:
    // A command is a small JSON object (about a hundred bytes): anything longer is refused
    // unread.
    static constexpr std::size_t kMaxPayload = 4096;
    // Deeper nesting is refused while scanning, before a document is built.
    static constexpr int kMaxDepth = 16;
    // A taken command's id, with its reply, is remembered for an hour (a client that
    // publishes again after a reconnect does so within seconds; an hour covers a broker or
    // client restart) and at most 1000 of them, the oldest forgotten first (some 300 KB).
    static constexpr std::int64_t kRepeatWindowMs = 3600 * 1000;
    static constexpr std::size_t kRememberedIds = 1000;

    enum class Outcome {
        Taken,     // a job was submitted
        Repeated,  // an id already taken: the first reply again, nothing run
        Refused,   // answered with a refusal (400, 401, 403, 404, 409, 413)
        Retained,  // a retained message: ignored, not answered
        NotOurs,   // not gc6890/NAME/cmd/KIND: ignored
    };
    static constexpr int kOutcomes = 5;
    static const char* outcomeName(Outcome outcome);  // "taken", "repeated", ...

    struct Result {
        Outcome outcome = Outcome::NotOurs;
        std::string replyTopic;  // "" when nothing is answered
        std::string reply;       // {"id", "ok", "code", "job" | "error", "field"}
    };

    using Submit = std::function<JobBoard::Submitted(const JobRequest&)>;
    using Log = std::function<void(const std::string&)>;
    // Whether the token ("" when the command has none) may do the action.
    using Admit = std::function<Admission(const std::string& token, Action action)>;

    // `prefix`: "gc6890/NAME/"; `enabled`: --mqtt-commands; `admit` decides who may;
    // `submit` hands a checked job to the instrument under the one-job rule; `log` writes
    // one line of the service's log (the broker's text in it already made loggable).
    // `audit`: the trail the commands' lines go to (none in the pieces' own tests).
    MqttCommands(std::string prefix, bool enabled, MethodStore methods, Admit admit, Submit submit,
                 Log log, AuditLog* audit = nullptr);

    // `nowMs`: the steady clock, for the id window.
    Result handle(std::string_view topic, std::string_view payload, bool retained,
                  std::int64_t nowMs);

private:
    // `more`: fields beside the error (a lock's "reason" and "locked_until").
    Result refuse(const std::string& id, int code, const std::string& error,
                  const std::string& field = {},
                  const nlohmann::json& more = nlohmann::json::object()) const;
    // A well-formed command from the switched-on broker door: its caller admitted, its
    // fields read and its job submitted, each refusal with its line in the audit trail.
    Result take(const std::string& id, JobKind kind, const std::string& kindName,
                const std::string& token, std::string_view payload, std::int64_t nowMs);
    const std::string* remembered(const std::string& id, std::int64_t nowMs);
    void remember(const std::string& id, const std::string& reply, std::int64_t nowMs);

    std::string prefix_;
    bool enabled_;
    MethodStore methods_;
    Admit admit_;
    Submit submit_;
    Log log_;
    AuditLog* audit_;
    bool toldRetained_ = false;
    bool toldDisabled_ = false;

    struct Taken {
        std::string id;
        std::int64_t atMs = 0;
    };
    std::deque<Taken> takenOrder_;              // oldest first
    std::map<std::string, std::string> taken_;  // id -> its first reply
};

}  // namespace gc6890
