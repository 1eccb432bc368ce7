#include "service/audit_log.h"

#include <chrono>

#include "audit/audit_trail.h"
#include "audit/sha256.h"
#include "service/snapshot.h"

namespace gc6890 {

AuditOrigin auditOrigin(const std::optional<Caller>& caller, std::string door, std::string remote)
{
    return {caller ? caller->name : std::string(),
            caller ? std::string(roleName(caller->role)) : std::string(), std::move(door),
            std::move(remote)};
}

nlohmann::json methodAuditParams(const std::string& name, const std::string& content)
{
    return {{"method", name}, {"sha256", sha256Hex(content)}};
}

std::string auditResult(int status, const std::string& error)
{
    if (status < 300)
        return status == 202 ? "accepted" : "ok";
    return (status < 500 ? "refused: " : "failed: ") + error;
}

AuditLog::AuditLog(Clock clock) : clock_(clock ? std::move(clock) : Clock(steadyNowMs)) {}

AuditLog::~AuditLog() = default;

bool AuditLog::open(const std::string& folder, std::string& error)
{
    folder_ = folder;
    trail_ = AuditTrail::open(folder, error);
    if (!trail_)
        error = "the audit trail in " + folder + " cannot be opened: " + error;
    return trail_ != nullptr;
}

std::vector<std::string> AuditLog::notices() const
{
    return trail_ ? trail_->notices() : std::vector<std::string>{};
}

bool AuditLog::record(const AuditOrigin& origin, const std::string& action,
                      const nlohmann::json& params, const std::string& result, std::string& error)
{
    if (!trail_)
        return true;
    const AuditRecord line{origin.user, origin.role, origin.door, origin.remote,
                           action,      params,      result};
    std::string why;
    if (trail_->append(line, why))
        return true;
    error = "the audit trail in " + folder_ + " cannot be written (" + why +
            "); the change is not confirmed";
    const std::lock_guard lock(mutex_);
    failure_ = why;
    return false;
}

bool AuditLog::usable(std::string& error)
{
    std::string failure;
    {
        const std::lock_guard lock(mutex_);
        failure = failure_;
    }
    if (failure.empty())
        return true;
    if (!record({{}, {}, "service", {}}, "audit-resumed", {{"after", failure}}, "ok", error)) {
        error = "the audit trail in " + folder_ +
                " cannot be written; no change is made until it can be (" + failure + ")";
        return false;
    }
    const std::lock_guard lock(mutex_);
    failure_.clear();
    return true;
}

void AuditLog::writeSum(const std::pair<std::string, std::string>& key, std::uint64_t count)
{
    // A sum that cannot be written is not a change refused: the trail's failure is kept for
    // the next change to find.
    std::string error;
    record({{}, {}, key.first, key.second}, "unauthorized", {{"count", count}},
           "refused: no valid token", error);
}

void AuditLog::tokenless(const std::string& door, const std::string& remote)
{
    const std::int64_t now = clock_();
    std::vector<std::pair<std::pair<std::string, std::string>, std::uint64_t>> sums;
    {
        const std::lock_guard lock(mutex_);
        const auto key = std::make_pair(door, remote);
        auto found = tokenless_.find(key);
        if (found == tokenless_.end() && tokenless_.size() >= kTokenlessAddresses) {
            // Too many addresses at once (a spread flood): their sums go out now.
            for (const auto& [other, counted] : tokenless_)
                if (counted.pending > 0)
                    sums.emplace_back(other, counted.pending);
            tokenless_.clear();
        }
        found = tokenless_.find(key);
        if (found == tokenless_.end()) {
            tokenless_[key] = {now, 0};
            sums.emplace_back(key, 1);
        } else if (now - found->second.windowStartMs >= kTokenlessWindowMs) {
            // The minute's sum, this refusal with it; a new minute begins.
            sums.emplace_back(key, found->second.pending + 1);
            found->second = {now, 0};
        } else
            ++found->second.pending;
    }
    for (const auto& [key, count] : sums)
        writeSum(key, count);
}

void AuditLog::flush()
{
    std::vector<std::pair<std::pair<std::string, std::string>, std::uint64_t>> sums;
    {
        const std::lock_guard lock(mutex_);
        for (auto& [key, counted] : tokenless_)
            if (counted.pending > 0) {
                sums.emplace_back(key, counted.pending);
                counted.pending = 0;
            }
    }
    for (const auto& [key, count] : sums)
        writeSum(key, count);
}

}  // namespace gc6890
