// The host program's own door to the audit trail: a command that changes the instrument
// over the serial line (load, run, stop, reset, zones, sequence run) appends its line to
// $GC6890_HOME/audit, as the service's doors do, with door "line".
//
// The line has no accounts: the user is the login name of the program's user and the role
// is empty; the remote is the port's device. The trail is opened before the command acts,
// so a trail that cannot be written fails the command before anything is sent, naming the
// audit folder; the line is written before the command prints its success.
#pragma once

#include <memory>
#include <nlohmann/json.hpp>
#include <string>

namespace gc6890 {
class AuditTrail;
}

namespace gc6890::cli {

// $GC6890_HOME/audit
std::string auditFolder();

class LineAudit {
public:
    // Whether a trail that cannot be written holds the action back.
    enum class Unwritable { HoldsBack, LetsThrough };

    // Opens the trail for `action` with `params` (a method by name and sha256, a vial);
    // throws CommandFailure naming the audit folder when it cannot be opened, unless
    // `LetsThrough` (a stop, which nothing may hold back: done() fails after it instead).
    LineAudit(std::string action, nlohmann::json params,
              Unwritable unwritable = Unwritable::HoldsBack);
    // The same for a change made on this machine beside the line (`gc6890 user`): its lines
    // name `door` and `remote` (the file changed) instead of the line and its device.
    LineAudit(std::string action, nlohmann::json params, std::string door, std::string remote);
    ~LineAudit();
    LineAudit(const LineAudit&) = delete;
    LineAudit& operator=(const LineAudit&) = delete;

    // Appends the action as done; throws CommandFailure naming the audit folder when the
    // line cannot be written (the action was done: the message says so).
    void done();
    // Appends the action as failed with `why`; the command fails anyway, so a line that
    // cannot be written is only said on standard error.
    void failed(const std::string& why);
    // Another action of the same command (a sequence's loads and injections) with its
    // result; false with `error` naming the audit folder when it cannot be written.
    bool append(const std::string& action, const nlohmann::json& params, const std::string& result,
                std::string& error);

    // The parameters done() and failed() write, for what is known only once under way.
    nlohmann::json& params() { return params_; }

    // Runs `act`; a CommandFailure it throws is appended as the action's failure first.
    template <typename Act>
    auto around(Act act)
    {
        try {
            return act();
        } catch (const std::exception& failure) {
            failed(failure.what());
            throw;
        }
    }

private:
    std::string action_;
    std::string door_ = "line";
    std::string remote_;  // "" : the line's device
    nlohmann::json params_;
    std::unique_ptr<AuditTrail> trail_;  // null when it could not be opened
    std::string openError_;
};

}  // namespace gc6890::cli
