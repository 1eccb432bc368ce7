// Reading the audit trail back: `verify` walks the chain across every file and compares its
// end with the anchor; `read` gives the lines a filter selects (gc6890 audit show,
// GET /api/v1/audit).
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace gc6890 {

struct AuditVerdict {
    bool whole = false;   // every line as written, none missing, none added
    std::string problem;  // the first one found: "FILE:LINE: ...", or about the trail's end
    std::uint64_t lines = 0;
    std::size_t files = 0;
};

AuditVerdict verifyAudit(const std::string& folder);

struct AuditFilter {
    std::string since;      // ISO-8601 UTC, from a date to milliseconds; "" for all
    std::string user;       // "" for all
    std::string action;     // "" for all
    std::size_t limit = 0;  // the newest this many; 0 for all
};

// `since` as the trail writes times ("2026-12-03" → "2026-12-03T00:00:00.000Z"), or "" when
// it is no ISO-8601 UTC time.
std::string normalizedAuditTime(const std::string& since);

// The lines `filter` selects, oldest first. False with `error` for a bad `since` or a file
// that cannot be read.
bool readAudit(const std::string& folder, const AuditFilter& filter,
               std::vector<nlohmann::json>& lines, std::string& error);

}  // namespace gc6890
