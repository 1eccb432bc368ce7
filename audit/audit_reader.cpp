#include "audit/audit_reader.h"

#include <deque>
#include <regex>

#include "audit/audit_trail.h"
#include "audit/sha256.h"
#include "sequence/durable_file.h"
#include "station/safe_text.h"

namespace gc6890 {

namespace {

struct TrailLine {
    std::string place;  // FILE:LINE
    std::uint64_t seq = 0;
    std::string prev;
    std::string hash;
    nlohmann::json json;
};

// Every line of every file, in the chain's order. False with `problem` at the first line
// that is no audit line (or a torn last one).
bool readLines(const std::vector<std::string>& files, std::vector<TrailLine>& lines,
               std::string& problem)
{
    for (const std::string& file : files) {
        std::string content;
        if (!readWhole(file, content)) {
            problem = file + ": cannot be read";
            return false;
        }
        std::size_t number = 0;
        for (std::size_t at = 0; at < content.size();) {
            const std::size_t end = content.find('\n', at);
            const std::string place = file + ":" + std::to_string(++number);
            if (end == std::string::npos) {
                problem = place + ": a torn last line (a kill during a write; the service "
                                  "cuts it when it starts)";
                return false;
            }
            const std::string text = content.substr(at, end - at);
            at = end + 1;
            TrailLine line{
                place, 0, {}, sha256Hex(text), nlohmann::json::parse(text, nullptr, false)};
            if (!line.json.is_object() || !line.json["seq"].is_number_unsigned() ||
                !line.json["prev"].is_string()) {
                problem = place + ": changed (not an audit line)";
                return false;
            }
            line.seq = line.json["seq"].get<std::uint64_t>();
            line.prev = line.json["prev"].get<std::string>();
            lines.push_back(std::move(line));
        }
    }
    return true;
}

// The first break in the chain, or "".
std::string chainBreak(const std::vector<TrailLine>& lines)
{
    const std::string zero(64, '0');
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& expected = i == 0 ? zero : lines[i - 1].hash;
        const std::uint64_t due = i == 0 ? 1 : lines[i - 1].seq + 1;
        const TrailLine& line = lines[i];
        if (line.prev == expected) {
            if (line.seq != due)
                return line.place + ": changed (line number " + std::to_string(line.seq) +
                       " where " + std::to_string(due) + " was due)";
            continue;
        }
        if (i >= 2 && line.prev == lines[i - 2].hash)
            return lines[i - 1].place + ": inserted (the line after it follows the one before it)";
        if (i + 1 < lines.size() && lines[i + 1].prev == expected)
            return line.place + ": inserted (the line after it follows the one before it)";
        if (line.seq > due)
            return line.place + ": " + std::to_string(line.seq - due) +
                   " line(s) before this one were removed";
        if (i > 0 && line.seq == due)
            return lines[i - 1].place + ": changed (its hash is not the one the next line holds)";
        return line.place + ": changed or inserted";
    }
    return {};
}

}  // namespace

AuditVerdict verifyAudit(const std::string& folder)
{
    AuditVerdict verdict;
    const std::vector<std::string> files = auditFiles(folder);
    verdict.files = files.size();
    std::vector<TrailLine> lines;
    if (!readLines(files, lines, verdict.problem))
        return verdict;
    if (!(verdict.problem = chainBreak(lines)).empty())
        return verdict;
    verdict.lines = lines.empty() ? 0 : lines.back().seq;
    AuditAnchor anchor;
    if (!readAuditAnchor(folder, anchor)) {
        if (!lines.empty())
            verdict.problem = auditAnchorPath(folder) + ": missing or unreadable";
    } else if (anchor.lines > verdict.lines) {
        verdict.problem = "the last " + std::to_string(anchor.lines - verdict.lines) +
                          " line(s) are missing (the anchor names line " +
                          std::to_string(anchor.lines) + ")";
    } else if (anchor.lines < verdict.lines) {
        const TrailLine& first = lines[lines.size() - (verdict.lines - anchor.lines)];
        verdict.problem = first.place + ": added after the anchor's newest line";
    } else if (!lines.empty() && anchor.hash != lines.back().hash) {
        verdict.problem = lines.back().place + ": changed (its hash is not the anchor's)";
    }
    if (!verdict.problem.empty())
        return verdict;
    // A mismatch the service found at a start stays a finding: the trail was tampered with
    // before then, even if it is whole since.
    for (const TrailLine& line : lines)
        if (textField(line.json, "action") == "audit_anchor_mismatch") {
            const std::string found =
                textField(line.json.value("params", nlohmann::json()), "found");
            verdict.problem = line.place + ": the service found the trail not matching its " +
                              "anchor at its start (" + (found.empty() ? "?" : found) + ")";
            return verdict;
        }
    verdict.whole = true;
    return verdict;
}

std::string normalizedAuditTime(const std::string& since)
{
    static const std::regex kIso(
        R"((\d{4})-(\d{2})-(\d{2})(?:[T ](\d{2}):(\d{2})(?::(\d{2})(?:\.(\d{1,3}))?)?)?Z?)");
    std::smatch m;
    if (!std::regex_match(since, m, kIso))
        return {};
    auto part = [&](int i, const char* otherwise) {
        return m[i].matched ? m[i].str() : std::string(otherwise);
    };
    const int month = std::stoi(m[2]), day = std::stoi(m[3]);
    const std::string hour = part(4, "00"), minute = part(5, "00"), second = part(6, "00");
    std::string millis = part(7, "000");
    millis.append(3 - millis.size(), '0');
    if (month < 1 || month > 12 || day < 1 || day > 31 || std::stoi(hour) > 23 ||
        std::stoi(minute) > 59 || std::stoi(second) > 60)
        return {};
    return m[1].str() + "-" + m[2].str() + "-" + m[3].str() + "T" + hour + ":" + minute + ":" +
           second + "." + millis + "Z";
}

bool readAudit(const std::string& folder, const AuditFilter& filter,
               std::vector<nlohmann::json>& lines, std::string& error)
{
    const std::string since = filter.since.empty() ? "" : normalizedAuditTime(filter.since);
    if (!filter.since.empty() && since.empty()) {
        error = "since: \"" + filter.since + "\" is no ISO-8601 UTC time (2026-12-03T14:00Z)";
        return false;
    }
    std::vector<TrailLine> all;
    std::string problem;
    // A torn or changed line ends the reading there; what came before is shown.
    readLines(auditFiles(folder), all, problem);
    std::deque<nlohmann::json> selected;
    for (TrailLine& line : all) {
        const nlohmann::json& json = line.json;
        if ((!since.empty() && textField(json, "time") < since) ||
            (!filter.user.empty() && textField(json, "user") != filter.user) ||
            (!filter.action.empty() && textField(json, "action") != filter.action))
            continue;
        selected.push_back(std::move(line.json));
        if (filter.limit > 0 && selected.size() > filter.limit)
            selected.pop_front();
    }
    lines.assign(selected.begin(), selected.end());
    return true;
}

}  // namespace gc6890
