// The audit trail: every change asked of the instrument, from any door, as one JSON line in
// $GC6890_HOME/audit/, each line holding the SHA-256 of the line before it (a hash chain)
// and its number. An anchor file beside it keeps the newest line's number and hash, since a
// chain alone cannot show that its newest lines were removed. A line is written with one
// write(2) and fsynced, then the anchor, before the caller reports the action's effect.
//
//   audit/audit.jsonl          the current file
//   audit/audit-000001.jsonl   the files rolled over before it, oldest first
//   audit/anchor               the newest line's number and hash
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace gc6890 {

// What one line says: who did what through which door, and how it ended.
struct AuditRecord {
    std::string user;    // the account's name; "" when the caller gave no valid token
    std::string role;    // viewer, operator, admin; "" likewise
    std::string door;    // http, mqtt, sila, line (the host program), service
    std::string remote;  // the client's address or gRPC peer; the login for the line
    std::string action;  // load, run, stop, upload, ...
    nlohmann::json params = nlohmann::json::object();  // a method by name and sha256, ...
    std::string result;                                // ok, refused: ..., failed: ...
};

// A file rolls over once it holds this much; the chain goes on in the next.
inline constexpr std::uint64_t kAuditRollBytes = 16 * 1024 * 1024;

// The folder's files in the chain's order (the rolled ones, then the current one), as paths.
std::vector<std::string> auditFiles(const std::string& folder);
std::string auditAnchorPath(const std::string& folder);

// The anchor: the newest line's number (0 for an empty trail) and hash.
struct AuditAnchor {
    std::uint64_t lines = 0;
    std::string hash;
};
// False when there is no anchor or it does not read.
bool readAuditAnchor(const std::string& folder, AuditAnchor& anchor);

class AuditTrail {
public:
    // Opens the trail in `folder`, made when missing. A torn last line (a kill during a
    // write) is cut and a line says so; a line written whole whose anchor the kill
    // prevented gets its anchor. A trail that does not match its anchor otherwise (lines
    // removed or added by hand) is not mended: a line records the mismatch, which `audit
    // verify` reports from then on. Nothing with `error` when the folder cannot be used.
    static std::unique_ptr<AuditTrail> open(const std::string& folder, std::string& error,
                                            std::uint64_t rollBytes = kAuditRollBytes);
    ~AuditTrail();
    AuditTrail(const AuditTrail&) = delete;
    AuditTrail& operator=(const AuditTrail&) = delete;

    // Appends `record`, timed now. Thread-safe. False with `error` naming the file when the
    // line could not be written whole and synced.
    bool append(const AuditRecord& record, std::string& error);

    // What open() found and mended, one sentence each, for the service's log.
    const std::vector<std::string>& notices() const { return notices_; }

private:
    AuditTrail(std::string folder, std::uint64_t rollBytes);
    bool openCurrent(std::string& error);
    bool recover(std::string& error);
    bool appendLocked(const AuditRecord& record, std::string& error);
    bool rollOver(std::string& error);
    bool writeAnchor(std::string& error);

    std::string folder_;
    std::uint64_t rollBytes_;
    std::mutex mutex_;
    int fd_ = -1;
    int anchorFd_ = -1;
    std::uint64_t size_ = 0;   // of the current file
    std::uint64_t lines_ = 0;  // the newest line's number
    std::string hash_;         // the newest line's hash
    std::vector<std::string> notices_;
};

}  // namespace gc6890
