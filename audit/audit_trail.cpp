#include "audit/audit_trail.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "audit/sha256.h"
#include "platform/drive_paths.h"
#include "sequence/durable_file.h"
#include "sequence/sequence_clock.h"

namespace gc6890 {

namespace {

const std::string kCurrent = "audit.jsonl";
const std::string kZeroHash(64, '0');

std::string utcNow()
{
    return isoTime(systemSequenceClock().unixMs());
}

// The number of a rolled file's name ("audit-000012.jsonl"), or 0 for another name.
int rolledNumber(const std::string& name)
{
    if (name.size() != 18 || !name.starts_with("audit-") || !name.ends_with(".jsonl"))
        return 0;
    const std::string digits = name.substr(6, 6);
    if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return 0;
    return std::stoi(digits);
}

// The last whole line of `content` (without its newline), or "".
std::string lastLine(const std::string& content)
{
    if (content.empty())
        return {};
    const std::size_t end = content.back() == '\n' ? content.size() - 1 : content.size();
    const std::size_t begin = content.rfind('\n', end == 0 ? 0 : end - 1);
    return content.substr(begin == std::string::npos ? 0 : begin + 1,
                          end - (begin == std::string::npos ? 0 : begin + 1));
}

// One write(2) of `bytes`; a part written is taken back. False with `error`.
bool writeWhole(int fd, const std::string& path, const std::string& bytes, std::string& error)
{
    const off_t before = ::lseek(fd, 0, SEEK_END);
    ssize_t written;
    do {
        written = ::write(fd, bytes.data(), bytes.size());
    } while (written < 0 && errno == EINTR);
    if (written == static_cast<ssize_t>(bytes.size()))
        return true;
    if (written > 0 && before >= 0 && ::ftruncate(fd, before) == 0)
        ::fsync(fd);
    error = written < 0 ? systemError(path + ": cannot write")
                        : path + ": the disk took only part of an audit line";
    return false;
}

// A line the trail writes of itself.
AuditRecord serviceRecord(const std::string& action, nlohmann::json params,
                          const std::string& result)
{
    AuditRecord record;
    record.door = "service";
    record.action = action;
    record.params = std::move(params);
    record.result = result;
    return record;
}

// Holds the trail's lock (flock on the anchor) against another process writing it.
class FileLock {
public:
    explicit FileLock(int fd) : fd_(fd) { ::flock(fd_, LOCK_EX); }
    ~FileLock() { ::flock(fd_, LOCK_UN); }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int fd_;
};

}  // namespace

std::vector<std::string> auditFiles(const std::string& folder)
{
    std::vector<std::pair<int, std::string>> rolled;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (const int number = rolledNumber(name))
            rolled.emplace_back(number, entry.path().string());
    }
    std::sort(rolled.begin(), rolled.end());
    std::vector<std::string> files;
    for (auto& [number, path] : rolled)
        files.push_back(std::move(path));
    if (std::filesystem::exists(folder + "/" + kCurrent, ec))
        files.push_back(folder + "/" + kCurrent);
    return files;
}

std::string auditAnchorPath(const std::string& folder)
{
    return folder + "/anchor";
}

namespace {

// "LINES HASH": the count of lines and the newest line's SHA-256.
bool parseAnchor(const std::string& text, AuditAnchor& anchor)
{
    std::istringstream words(text);
    std::string lines;
    if (!(words >> lines >> anchor.hash) || anchor.hash.size() != 64)
        return false;
    // Digits only, and a count that fits: a number past 64 bits is a damaged anchor, not
    // an exception.
    const char* end = lines.data() + lines.size();
    const auto [stop, failure] = std::from_chars(lines.data(), end, anchor.lines);
    return failure == std::errc() && stop == end;
}

// The anchor through the descriptor its lock is held on, so that the file locked is the
// file read even if its path were made to name another.
bool readAnchorAt(int fd, AuditAnchor& anchor)
{
    char text[128];
    const ssize_t got = ::pread(fd, text, sizeof text, 0);
    return got > 0 && parseAnchor(std::string(text, static_cast<std::size_t>(got)), anchor);
}

}  // namespace

bool readAuditAnchor(const std::string& folder, AuditAnchor& anchor)
{
    std::string text;
    return readWhole(auditAnchorPath(folder), text) && parseAnchor(text, anchor);
}

AuditTrail::AuditTrail(std::string folder, std::uint64_t rollBytes)
    : folder_(std::move(folder)), rollBytes_(rollBytes), hash_(kZeroHash)
{}

AuditTrail::~AuditTrail()
{
    if (fd_ >= 0)
        ::close(fd_);
    if (anchorFd_ >= 0)
        ::close(anchorFd_);
}

std::unique_ptr<AuditTrail> AuditTrail::open(const std::string& folder, std::string& error,
                                             std::uint64_t rollBytes)
{
    if (!makeDirectories(folder)) {
        error = systemError(folder + ": cannot create the folder");
        return nullptr;
    }
    ::chmod(folder.c_str(), 0700);  // who did what is nobody else's business
    std::unique_ptr<AuditTrail> trail(new AuditTrail(folder, rollBytes));
    trail->anchorFd_ = ::open(auditAnchorPath(folder).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (trail->anchorFd_ < 0) {
        error = systemError(auditAnchorPath(folder) + ": cannot open");
        return nullptr;
    }
    FileLock lock(trail->anchorFd_);
    if (!trail->openCurrent(error) || !trail->recover(error))
        return nullptr;
    return trail;
}

bool AuditTrail::openCurrent(std::string& error)
{
    if (fd_ >= 0)
        ::close(fd_);
    const std::string path = folder_ + "/" + kCurrent;
    fd_ = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    struct stat info {};
    if (fd_ < 0 || ::fstat(fd_, &info) != 0) {
        error = systemError(path + ": cannot open");
        return false;
    }
    size_ = static_cast<std::uint64_t>(info.st_size);
    return true;
}

bool AuditTrail::recover(std::string& error)
{
    const std::string path = folder_ + "/" + kCurrent;
    std::string content;
    if (!readWhole(path, content)) {
        error = systemError(path + ": cannot read");
        return false;
    }
    std::size_t tornBytes = 0;
    if (!content.empty() && content.back() != '\n') {
        const std::size_t keep =
            content.rfind('\n') == std::string::npos ? 0 : content.rfind('\n') + 1;
        tornBytes = content.size() - keep;
        content.resize(keep);
        if (::ftruncate(fd_, static_cast<off_t>(keep)) != 0 || ::fsync(fd_) != 0) {
            error = systemError(path + ": cannot cut off the torn last line");
            return false;
        }
        size_ = keep;
        notices_.push_back(path + ": a torn last line of " + std::to_string(tornBytes) +
                           " bytes (a kill during a write) was cut");
    }
    // The newest line: in the current file, else in the newest rolled one.
    std::string newest = lastLine(content);
    if (newest.empty()) {
        const std::vector<std::string> files = auditFiles(folder_);
        std::string rolled;
        if (files.size() >= 2 && readWhole(files[files.size() - 2], rolled))
            newest = lastLine(rolled);
    }
    std::string prev;
    if (!newest.empty()) {
        // A newest line changed by hand may hold anything there: a number that is no line's
        // reads as line 0 and a hash that is no text as none, for the anchor's check to find.
        const nlohmann::json line = nlohmann::json::parse(newest, nullptr, false);
        const auto seq = line.find("seq");
        const auto hashBefore = line.find("prev");
        lines_ = seq != line.end() && seq->is_number_unsigned() ? seq->get<std::uint64_t>() : 0;
        prev = hashBefore != line.end() && hashBefore->is_string() ? hashBefore->get<std::string>()
                                                                   : std::string();
        hash_ = sha256Hex(newest);
    }
    AuditAnchor anchor;
    const bool anchored = readAnchorAt(anchorFd_, anchor);
    std::string mismatch;
    if (!anchored && lines_ > 0)
        mismatch = "the anchor is missing";
    else if (anchored && anchor.lines + 1 == lines_ && anchor.hash == prev)
        notices_.push_back(folder_ + ": the newest line's anchor (a kill between the two "
                                     "writes) is written now");
    else if (anchored && (anchor.lines != lines_ || (lines_ > 0 && anchor.hash != hash_)))
        mismatch = "the anchor names line " + std::to_string(anchor.lines) + " (" +
                   anchor.hash.substr(0, 12) + "), the trail ends at line " +
                   std::to_string(lines_) + " (" + hash_.substr(0, 12) + ")";
    if (!writeAnchor(error))
        return false;
    if (tornBytes > 0 &&
        !appendLocked(
            serviceRecord("audit_torn_line_cut", {{"file", kCurrent}, {"bytes", tornBytes}}, "ok"),
            error))
        return false;
    if (!mismatch.empty()) {
        notices_.push_back(folder_ + ": the trail does not match its anchor: " + mismatch +
                           "; `gc6890 audit verify` reports it");
        if (!appendLocked(serviceRecord("audit_anchor_mismatch", {{"found", mismatch}},
                                        "the trail did not match its anchor at its opening"),
                          error))
            return false;
    }
    return true;
}

bool AuditTrail::append(const AuditRecord& record, std::string& error)
{
    std::lock_guard guard(mutex_);
    FileLock lock(anchorFd_);
    // Another process (the host program beside the service) may have written since: the
    // chain goes on from the trail's newest line, as the anchor has it.
    AuditAnchor anchor;
    if (readAnchorAt(anchorFd_, anchor) && anchor.lines > lines_) {
        if (!openCurrent(error))
            return false;
        lines_ = anchor.lines;
        hash_ = anchor.hash;
    }
    return appendLocked(record, error);
}

bool AuditTrail::appendLocked(const AuditRecord& record, std::string& error)
{
    nlohmann::ordered_json line;
    line["seq"] = lines_ + 1;
    line["time"] = utcNow();
    line["user"] = record.user;
    line["role"] = record.role;
    line["door"] = record.door;
    line["remote"] = record.remote;
    line["action"] = record.action;
    line["params"] = record.params;
    line["result"] = record.result;
    line["prev"] = hash_;
    const std::string text = line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    if (size_ > 0 && size_ + text.size() + 1 > rollBytes_ && !rollOver(error))
        return false;
    const std::string path = folder_ + "/" + kCurrent;
    if (!writeWhole(fd_, path, text + "\n", error))
        return false;
    if (::fsync(fd_) != 0) {
        error = systemError(path + ": cannot sync");
        return false;
    }
    size_ += text.size() + 1;
    lines_ += 1;
    hash_ = sha256Hex(text);
    return writeAnchor(error);
}

bool AuditTrail::rollOver(std::string& error)
{
    int number = 1;
    for (const std::string& file : auditFiles(folder_))
        number =
            std::max(number, rolledNumber(std::filesystem::path(file).filename().string()) + 1);
    char name[32];
    std::snprintf(name, sizeof name, "audit-%06d.jsonl", number);
    const std::string current = folder_ + "/" + kCurrent;
    if (::rename(current.c_str(), (folder_ + "/" + name).c_str()) != 0) {
        error = systemError(current + ": cannot roll over");
        return false;
    }
    if (!openCurrent(error))
        return false;
    if (!syncFolder(folder_)) {
        error = systemError(folder_ + ": cannot sync the folder");
        return false;
    }
    return true;
}

bool AuditTrail::writeAnchor(std::string& error)
{
    // One short write in place: the whole anchor or the one before it.
    char text[96];
    const int n = std::snprintf(text, sizeof text, "%020llu %s\n",
                                static_cast<unsigned long long>(lines_), hash_.c_str());
    if (::pwrite(anchorFd_, text, static_cast<std::size_t>(n), 0) != n ||
        ::ftruncate(anchorFd_, n) != 0 || ::fsync(anchorFd_) != 0) {
        error = systemError(auditAnchorPath(folder_) + ": cannot write");
        return false;
    }
    return true;
}

}  // namespace gc6890
