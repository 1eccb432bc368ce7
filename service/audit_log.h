// The service's one way into the audit trail ($GC6890_HOME/audit, audit/audit_trail.h):
// every door (HTTP, MQTT commands, SiLA 2) and the instrument thread (a job's end) write
// their lines through it, so that the doors cannot come to differ in what a line says.
//
// Refusals without a valid token are not a line each: they are summed per door and remote
// address, at most one line a minute each, so that a flood of them cannot become thousands
// of forced writes a second. The first refusal from an address is written at once (count
// 1); those within the next minute are counted, and their sum is written with the first one
// after the minute, or at a clean stop (flush), so that nothing counted is lost then.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "service/accounts.h"

namespace gc6890 {

class AuditTrail;

// Who asked, and through which door: what every line of a change begins with.
struct AuditOrigin {
    std::string user;    // the account's name
    std::string role;    // viewer, operator, admin
    std::string door;    // http, mqtt, sila
    std::string remote;  // the client's address, the gRPC peer, or "broker"
};

// The origin of a request whose token names `caller` (an empty user and role when none).
AuditOrigin auditOrigin(const std::optional<Caller>& caller, std::string door, std::string remote);

// A method in a line's parameters: by name and by the SHA-256 of its stored file's bytes.
nlohmann::json methodAuditParams(const std::string& name, const std::string& content);

// "ok" for a status below 300 (202, a job taken: "accepted"), "refused: ERROR" below 500,
// "failed: ERROR" above: the result of a change answered with `status` and `error`.
std::string auditResult(int status, const std::string& error);

class AuditLog {
public:
    // Refusals without a valid token from one door and address: one line at most this often.
    static constexpr std::int64_t kTokenlessWindowMs = 60'000;
    // Addresses counted at once; beyond, their sums are written early and forgotten.
    static constexpr std::size_t kTokenlessAddresses = 1024;

    using Clock = std::function<std::int64_t()>;  // milliseconds on a steady clock
    // `clock` for the minute of the tokenless sums; the steady clock when none.
    explicit AuditLog(Clock clock = {});
    ~AuditLog();
    AuditLog(const AuditLog&) = delete;
    AuditLog& operator=(const AuditLog&) = delete;

    // Opens the trail in `folder` (made when missing). False with `error` naming the
    // folder. Until opened, record() writes nothing and succeeds: only the pieces' own
    // tests use a log unopened; the service opens it before any door does.
    bool open(const std::string& folder, std::string& error);
    // What opening found and mended (a torn line cut), for the service's log.
    std::vector<std::string> notices() const;
    const std::string& folder() const { return folder_; }

    // Appends one line, fsynced before this returns. False with `error` (naming the folder)
    // when it could not be written: the caller must then not report the change as done.
    bool record(const AuditOrigin& origin, const std::string& action, const nlohmann::json& params,
                const std::string& result, std::string& error);
    // Whether the trail takes lines. After a failed append, each call tries to write a line
    // saying the trail is written again; until one is, every change is refused before it
    // acts (false with `error`), since a change made unrecorded cannot be taken back.
    bool usable(std::string& error);

    // A request refused for want of a valid token, from `door` and `remote`.
    void tokenless(const std::string& door, const std::string& remote);
    // Writes every tokenless sum not written yet (at a clean stop).
    void flush();

private:
    struct Tokenless {
        std::int64_t windowStartMs = 0;
        std::uint64_t pending = 0;  // counted since the window's line
    };
    void writeSum(const std::pair<std::string, std::string>& key, std::uint64_t count);

    Clock clock_;
    std::string folder_;
    std::unique_ptr<AuditTrail> trail_;
    std::mutex mutex_;     // failure_ and tokenless_
    std::string failure_;  // why the last append failed; "" while the trail takes lines
    std::map<std::pair<std::string, std::string>, Tokenless> tokenless_;  // (door, remote)
};

}  // namespace gc6890
