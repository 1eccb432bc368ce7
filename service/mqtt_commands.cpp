#include "service/mqtt_commands.h"

#include <nlohmann/json.hpp>
#include <optional>

#include "platform/enum_names.h"
#include "service/job_requests.h"
#include "service/safe_text.h"

namespace gc6890 {

namespace {

using nlohmann::json;

// A request id becomes a topic level: plain characters only.
bool plainId(const std::string& id)
{
    if (id.empty() || id.size() > 64)
        return false;
    for (const char c : id) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_' && c != '.')
            return false;
    }
    return true;
}

// One pass over a payload without building it: whether it nests deeper than the limit
// (the pass stops there), the top level's "id" when that is a text or a whole number, and
// its "token" when a text.
class CommandScan : public nlohmann::json_sax<json> {
public:
    bool tooDeep = false;
    std::string id;
    std::string token;

    bool null() override { return value(); }
    bool boolean(bool) override { return value(); }
    bool number_integer(number_integer_t number) override { return value(std::to_string(number)); }
    bool number_unsigned(number_unsigned_t number) override
    {
        return value(std::to_string(number));
    }
    bool number_float(number_float_t, const string_t&) override { return value(); }
    bool string(string_t& text) override
    {
        if (tokenNext_)
            token = text;
        return value(text);
    }
    bool binary(binary_t&) override { return value(); }
    bool start_object(std::size_t) override { return enter(); }
    bool start_array(std::size_t) override { return enter(); }
    bool end_object() override { return leave(); }
    bool end_array() override { return leave(); }
    bool key(string_t& name) override
    {
        idNext_ = depth_ == 1 && name == "id";
        tokenNext_ = depth_ == 1 && name == "token";
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override
    {
        return false;
    }

private:
    // A value at the top level of the object: the id when it follows the key "id" (the
    // last such key counts, as in the document the checks read later).
    bool value(std::optional<std::string> text = std::nullopt)
    {
        if (idNext_)
            id = text.value_or("");
        idNext_ = tokenNext_ = false;
        return true;
    }
    bool enter()
    {
        value();
        if (++depth_ > MqttCommands::kMaxDepth) {
            tooDeep = true;
            return false;
        }
        return true;
    }
    bool leave()
    {
        --depth_;
        return true;
    }

    int depth_ = 0;
    bool idNext_ = false;
    bool tokenNext_ = false;
};

}  // namespace

const char* MqttCommands::outcomeName(Outcome outcome)
{
    static constexpr EnumNames kNames({"taken", "repeated", "refused", "retained", "not_ours"},
                                      Outcome::NotOurs);
    return kNames(outcome);
}

MqttCommands::MqttCommands(std::string prefix, bool enabled, MethodStore methods, Admit admit,
                           Submit submit, Log log, AuditLog* audit)
    : prefix_(std::move(prefix)), enabled_(enabled), methods_(std::move(methods)),
      admit_(std::move(admit)), submit_(std::move(submit)), log_(std::move(log)), audit_(audit)
{}

MqttCommands::Result MqttCommands::refuse(const std::string& id, int code, const std::string& error,
                                          const std::string& field, const json& more) const
{
    json reply;
    if (!id.empty())
        reply["id"] = id;
    reply["ok"] = false;
    reply["code"] = code;
    reply["error"] = error;
    if (!field.empty())
        reply["field"] = field;
    reply.update(more);
    // A body without a usable id cannot name its reply topic.
    return {Outcome::Refused, prefix_ + "reply/" + (id.empty() ? "invalid" : id), jsonText(reply)};
}

MqttCommands::Result MqttCommands::handle(std::string_view topic, std::string_view payload,
                                          bool retained, std::int64_t nowMs)
{
    const std::string commands = prefix_ + "cmd/";
    if (topic.substr(0, commands.size()) != commands)
        return {};
    const std::string kindName(topic.substr(commands.size()));
    if (kindName.empty() || kindName.find('/') != std::string::npos)
        return {};
    // The broker hands a retained command to every new subscription: taken, it would run
    // again at each start of the service and each reconnect.
    if (retained) {
        if (!toldRetained_) {
            log_("ignored the retained command on " + loggable(topic) +
                 ": commands are never taken from retained messages (clear it with "
                 "mosquitto_pub -r -n -t TOPIC); further ones are counted, not logged");
            toldRetained_ = true;
        }
        return {Outcome::Retained, {}, {}};
    }
    if (payload.size() > kMaxPayload)
        return refuse({}, 413,
                      "a command is at most " + std::to_string(kMaxPayload) + " bytes, not " +
                          std::to_string(payload.size()),
                      "body");
    CommandScan scan;
    json::sax_parse(payload, &scan);
    std::string id = scan.id;
    if (!plainId(id))
        id.clear();
    if (scan.tooDeep)
        return refuse(id, 400,
                      "a command nests at most " + std::to_string(kMaxDepth) + " levels deep",
                      "body");
    if (id.empty())
        return refuse({}, 400,
                      "a command is a JSON object with an \"id\" of 1 to 64 letters, digits, "
                      "'-', '_' or '.'",
                      "id");
    if (const std::string* first = remembered(id, nowMs))
        return {Outcome::Repeated, prefix_ + "reply/" + id, *first};
    const std::optional<JobKind> kind = jobKindNamed(kindName);
    if (!kind)
        return refuse(id, 404, "no command " + kindName + ": load, run, stop, reset or zones");
    if (!enabled_) {
        if (!toldDisabled_) {
            log_("refused the command " + loggable(kindName) + " " + id +
                 " from the broker: the service takes none (--mqtt-commands); further ones are "
                 "counted, not logged");
            toldDisabled_ = true;
        }
        return refuse(id, 403,
                      "this service takes no commands from the broker; it was started without "
                      "--mqtt-commands");
    }
    return take(id, *kind, kindName, scan.token, payload, nowMs);
}

MqttCommands::Result MqttCommands::take(const std::string& id, JobKind kind,
                                        const std::string& kindName, const std::string& token,
                                        std::string_view payload, std::int64_t nowMs)
{
    // Who may is known before the payload is read: a refused caller learns nothing of the
    // method folder from the checks.
    const Admission admission = admit_(token, jobAction(kind));
    // A broker does not tell who published a message (MQTT 3.1.1 carries no sender): the
    // remote is "broker", and the command's own id is among the line's parameters.
    const AuditOrigin origin = auditOrigin(admission.caller, "mqtt", "broker");
    // A refusal's line that cannot be written leaves the command refused all the same.
    const auto refusedLine = [&](const std::string& why) {
        std::string error;
        if (audit_)
            audit_->record(origin, kindName, {{"command", id}}, "refused: " + why, error);
    };
    if (!admission.admitted() && !admission.caller && audit_)
        audit_->tokenless("mqtt", "broker");
    else if (!admission.admitted())
        refusedLine(admission.refusal());
    if (!admission.admitted())
        return admission.verdict == Admission::Verdict::Forbidden
                   ? refuse(id, 403, admission.refusal(), {},
                            {{"role_needed", roleName(requiredRole(admission.action))}})
                   : refuse(id, 401,
                            admission.verdict == Admission::Verdict::NoToken
                                ? "a command carries an account's token in its \"token\" field"
                                : "the token is no account's: it was removed or rotated, or "
                                  "mistyped",
                            "token");
    JobRequest request;
    try {
        std::vector<std::string> known = jobFields(kind);
        known.insert(known.end(), {"id", "token"});
        request = jobRequestOf(kind, parseJsonObject(std::string(payload), known), methods_);
    } catch (const BadField& bad) {
        refusedLine(bad.error);
        return refuse(id, 400, bad.error, bad.field);
    }
    // submitJob writes the job's lines.
    request.origin = origin;
    request.auditParams = jobAuditParams(request, methods_);
    request.auditParams["command"] = id;
    const JobBoard::Submitted submitted = submit_(request);
    if (submitted.unrecorded)
        return refuse(id, 503, submitted.conflict);
    if (submitted.id == 0 && !submitted.lockedUntil.empty())
        return refuse(id, 409, refusal(request, submitted.conflict), {},
                      {{"reason", submitted.conflict}, {"locked_until", submitted.lockedUntil}});
    if (submitted.id == 0)
        return refuse(id, 409, refusal(request, submitted.conflict));
    const json reply = {{"id", id}, {"ok", true}, {"code", 202}, {"job", submitted.id}};
    Result result{Outcome::Taken, prefix_ + "reply/" + id, jsonText(reply)};
    remember(id, result.reply, nowMs);
    return result;
}

const std::string* MqttCommands::remembered(const std::string& id, std::int64_t nowMs)
{
    while (!takenOrder_.empty() && nowMs - takenOrder_.front().atMs > kRepeatWindowMs) {
        taken_.erase(takenOrder_.front().id);
        takenOrder_.pop_front();
    }
    const auto found = taken_.find(id);
    return found == taken_.end() ? nullptr : &found->second;
}

void MqttCommands::remember(const std::string& id, const std::string& reply, std::int64_t nowMs)
{
    taken_[id] = reply;
    takenOrder_.push_back({id, nowMs});
    while (takenOrder_.size() > kRememberedIds) {
        taken_.erase(takenOrder_.front().id);
        takenOrder_.pop_front();
    }
}

}  // namespace gc6890
