// The audit trail's readers on any folder a hand may have changed: `audit verify`, `audit
// show` and the service opening the trail at its start never throw, a whole trail reads
// back line for line, and a whole trail stays whole when the service opens it and adds a
// line.
//
// An input's first byte chooses: bit 1 writes the rest as the trail's lines with their
// numbers and hashes made to chain (so that the checks after the chain's are reached) and
// the anchor to match, bit 2 leaves the anchor out. Without bit 1 the rest is the file as
// it stands, then after a byte 0x1E the anchor.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <unistd.h>

#include "audit/audit_reader.h"
#include "audit/audit_trail.h"
#include "audit/sha256.h"
#include "harness.h"

namespace {

using gc6890::fuzz::check;

const std::string& folder()
{
    static const std::string path = (std::filesystem::temp_directory_path() /
                                     ("gc6890-fuzz-audit-" + std::to_string(::getpid())))
                                        .string();
    return path;
}

void writeFile(const std::string& path, std::string_view bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The lines of `text` given the numbers and hashes of an unbroken chain; lines that are no
// JSON object are kept as they are. Returns the anchor's text.
std::string chain(std::string_view text, std::string& trail)
{
    std::string hash(64, '0');
    std::uint64_t seq = 0;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos)
            end = text.size();
        std::string line(text.substr(at, end - at));
        at = end + 1;
        nlohmann::json json = nlohmann::json::parse(line, nullptr, false);
        if (json.is_object()) {
            json["seq"] = ++seq;
            json["prev"] = hash;
            line = json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
            hash = gc6890::sha256Hex(line);
        }
        trail += line + "\n";
    }
    return std::to_string(seq) + " " + hash + "\n";
}

std::size_t linesRead(const gc6890::AuditFilter& filter)
{
    std::vector<nlohmann::json> lines;
    std::string error;
    check(gc6890::readAudit(folder(), filter, lines, error));
    return lines.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::uint8_t mode = data[0];
    const std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::filesystem::remove_all(folder());
    std::filesystem::create_directories(folder());
    std::string trail, anchor;
    if (mode & 1) {
        anchor = chain(rest, trail);
    } else {
        const std::size_t split = rest.find('\x1e');
        trail = std::string(rest.substr(0, split));
        if (split != std::string_view::npos)
            anchor = std::string(rest.substr(split + 1));
    }
    writeFile(folder() + "/audit.jsonl", trail);
    if (!(mode & 2))
        writeFile(gc6890::auditAnchorPath(folder()), anchor);

    const gc6890::AuditVerdict before = gc6890::verifyAudit(folder());
    check(before.whole == before.problem.empty());
    const std::size_t all = linesRead({});
    if (before.whole)
        check(all == before.lines);
    linesRead({.since = "2026-12-03T14:00Z", .user = "ann", .action = "run", .limit = 2});

    std::string error;
    const auto opened = gc6890::AuditTrail::open(folder(), error);
    check(opened != nullptr);
    check(opened->append({.user = "ann", .role = "operator", .door = "http", .action = "run"},
                         error));
    const gc6890::AuditVerdict after = gc6890::verifyAudit(folder());
    if (before.whole)
        check(after.whole && after.lines == before.lines + 1);
    return 0;
}
