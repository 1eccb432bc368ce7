#include "sequence/results_writer.h"

#include "sequence/sequence_clock.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <sstream>
#include <unistd.h>

#include "external/method_schema.h"
#include "platform/cstring.h"
#include "platform/drive_paths.h"
#include "sequence/durable_file.h"

namespace gc6890 {

using nlohmann::json;

namespace {

constexpr std::size_t kMaxSafeName = 64;
constexpr int kMaxSuffix = 99;

std::string cellText(const json& value)
{
    return value.is_string() ? value.get<std::string>()
                             : value.dump(-1, ' ', false, json::error_handler_t::replace);
}

// The history as a table: the time first, then each reading, tab-separated.
std::string historyTable(const json& history)
{
    const json* times = history.contains("time_ms") ? &history["time_ms"] : nullptr;
    if (!times || !times->is_array())
        return "(no status history)\n";
    std::string text = "time";
    std::vector<const json*> columns;
    for (const auto& [key, column] : history.items()) {
        if (key != "time_ms" && column.is_array() && column.size() == times->size()) {
            text += "\t" + key;
            columns.push_back(&column);
        }
    }
    text += "\n";
    for (std::size_t i = 0; i < times->size(); ++i) {
        text += isoTime((*times)[i].get<std::int64_t>());
        for (const json* column : columns)
            text += '\t' + cellText((*column)[i]);
        text += "\n";
    }
    return text;
}

std::string runText(const RunResult& r)
{
    std::ostringstream text;
    text << "sequence   " << r.sequence << "\n"
         << "run id     " << r.runId << "\n"
         << "row        " << r.row << "\n"
         << "injection  " << r.injection << "\n"
         << "vial       " << r.vial << "\n"
         << "sample     " << r.sample << "\n"
         << "method     " << r.method << "\n"
         << "sha256     " << r.methodSha256 << "\n"
         << "volume     " << formatFloat(r.volume) << "\n"
         << "started    " << isoTime(r.startMs) << "\n"
         << "ended      " << isoTime(r.endMs) << "\n";
    if (!r.note.empty())
        text << "note       " << r.note << "\n";
    text << "\nstatus history\n" << historyTable(r.history);
    return text.str();
}

json runJson(const RunResult& r)
{
    return {{"sequence", r.sequence},
            {"run_id", r.runId},
            {"row", r.row},
            {"injection", r.injection},
            {"vial", r.vial},
            {"sample", r.sample},
            {"method", r.method},
            {"method_sha256", r.methodSha256},
            {"volume", r.volume},
            {"start_ms", r.startMs},
            {"start", isoTime(r.startMs)},
            {"end_ms", r.endMs},
            {"end", isoTime(r.endMs)},
            {"note", r.note},
            {"record", r.record},
            {"history", r.history}};
}

}  // namespace

std::string resultsFolder()
{
    return homeDirectory() + "/results";
}

std::string safeFileName(std::string_view name)
{
    std::string safe;
    for (const char c : name) {
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
        if (keep)
            safe += c;
        else if (safe.empty() || safe.back() != '_')
            safe += '_';
    }
    if (safe.size() > kMaxSafeName)
        safe.resize(kMaxSafeName);
    if (safe.empty() || safe[0] == '.')
        safe.insert(safe.begin(), '_');
    return safe;
}

std::string resultLeafName(int row, int injection, std::string_view sample)
{
    char number[32];
    std::snprintf(number, sizeof number, "%03d-%d-", row, injection);
    return number + safeFileName(sample);
}

RunResult singleInjectionResult(const std::string& source, const std::string& method, int vial,
                                float volume, std::int64_t startMs)
{
    const std::time_t seconds = static_cast<std::time_t>(startMs / 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char started[32];
    std::strftime(started, sizeof started, "%Y%m%dT%H%M%SZ", &utc);
    RunResult result;
    result.sequence = "run";
    result.runId = std::string(started) + "-" + source;
    result.row = 1;
    result.injection = 1;
    result.vial = vial;
    result.sample = "vial " + std::to_string(vial);
    result.method = method;
    result.volume = volume;
    result.startMs = startMs;
    return result;
}

bool writeRunResult(const std::string& root, const RunResult& result, std::string& folder,
                    std::string& error)
{
    namespace fs = std::filesystem;
    const std::string parent =
        root + "/" + safeFileName(result.sequence) + "-" + safeFileName(result.runId);
    const std::string leaf = resultLeafName(result.row, result.injection, result.sample);
    if (!makeDirectories(parent)) {
        error = parent + ": cannot create the folder: " + std::strerror(errno);
        return false;
    }
    // Filled under a hidden name first; one left by a kill is this process's to clear.
    const std::string scratch = parent + "/.writing-" + leaf + "-" + std::to_string(::getpid());
    std::error_code ec;
    fs::remove_all(scratch, ec);
    if (!makeDirectories(scratch)) {
        error = scratch + ": cannot create the folder: " + std::strerror(errno);
        return false;
    }
    // The note may hold the instrument's texts: bytes that are not UTF-8 become U+FFFD.
    const bool written =
        writeFileDurably(scratch + "/record.txt", result.record, error) &&
        writeFileDurably(scratch + "/run.txt", runText(result), error) &&
        writeFileDurably(scratch + "/run.json",
                         runJson(result).dump(2, ' ', false, json::error_handler_t::replace) + "\n",
                         error) &&
        syncFolder(scratch);
    if (!written) {
        fs::remove_all(scratch, ec);
        return false;
    }
    // Renamed into place only where no folder of that name is: never over an earlier one.
    for (int suffix = 1; suffix <= kMaxSuffix; ++suffix) {
        folder = parent + "/" + leaf;
        if (suffix > 1)
            folder += format("-%d", suffix);
        if (::renameat2(AT_FDCWD, scratch.c_str(), AT_FDCWD, folder.c_str(), RENAME_NOREPLACE) ==
            0) {
            if (!syncFolder(parent)) {
                error = parent + ": cannot sync the folder: " + std::strerror(errno);
                return false;
            }
            return true;
        }
        if (errno != EEXIST && errno != ENOTEMPTY)
            break;
    }
    error = folder + ": cannot move the results into place: " + std::strerror(errno);
    fs::remove_all(scratch, ec);
    folder.clear();
    return false;
}

}  // namespace gc6890
