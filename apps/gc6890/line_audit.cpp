#include "line_audit.h"

#include <cstdlib>
#include <iostream>
#include <pwd.h>
#include <unistd.h>

#include "audit/audit_trail.h"
#include "cli_error.h"
#include "platform/drive_paths.h"
#include "port_choice.h"

namespace gc6890::cli {

namespace {

// Who runs the program: the account of its user id, else $LOGNAME, else the number.
std::string loginName()
{
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_name)
        return entry->pw_name;
    if (const char* logname = std::getenv("LOGNAME"); logname && *logname)
        return logname;
    return "uid " + std::to_string(::getuid());
}

}  // namespace

std::string auditFolder()
{
    return homeDirectory() + "/audit";
}

LineAudit::LineAudit(std::string action, nlohmann::json params, Unwritable unwritable)
    : action_(std::move(action)), params_(std::move(params))
{
    trail_ = AuditTrail::open(auditFolder(), openError_);
    if (!trail_ && unwritable == Unwritable::HoldsBack)
        throw CommandFailure(kExitFailed, action_ + ": nothing was done: the audit trail in " +
                                              auditFolder() + " cannot be written: " + openError_);
}

LineAudit::LineAudit(std::string action, nlohmann::json params, std::string door,
                     std::string remote)
    : LineAudit(std::move(action), std::move(params))
{
    door_ = std::move(door);
    remote_ = std::move(remote);
}

LineAudit::~LineAudit() = default;

bool LineAudit::append(const std::string& action, const nlohmann::json& params,
                       const std::string& result, std::string& error)
{
    // No accounts on the line: the role is empty and the login names the user.
    const AuditRecord record{.user = loginName(),
                             .role = "",
                             .door = door_,
                             .remote = remote_.empty() ? chosenDevice() : remote_,
                             .action = action,
                             .params = params,
                             .result = result};
    if (!trail_)
        error = openError_;
    else if (trail_->append(record, error))
        return true;
    error = "the audit trail in " + auditFolder() + " cannot be written: " + error;
    return false;
}

void LineAudit::done()
{
    std::string error;
    if (!append(action_, params_, "ok", error))
        throw CommandFailure(kExitFailed, action_ + " was done, but " + error);
}

void LineAudit::failed(const std::string& why)
{
    std::string error;
    if (!append(action_, params_, "failed: " + why, error))
        std::cerr << "gc6890: " << action_ << ": " << error << '\n';
}

}  // namespace gc6890::cli
