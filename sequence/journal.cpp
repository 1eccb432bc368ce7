#include "sequence/journal.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <limits>
#include <nlohmann/json.hpp>
#include <unistd.h>

#include "platform/drive_paths.h"
#include "platform/enum_names.h"
#include "sequence/durable_file.h"

namespace gc6890 {

using nlohmann::json;

namespace {

constexpr EnumNames kStepNames({"sequence started", "row started", "method loaded",
                                "about to inject", "injected", "injection refused", "run ended",
                                "record written", "paused", "resumed", "row skipped", "aborted",
                                "finished"},
                               StepKind::Finished);

constexpr const char* kJournalSuffix = ".journal";

// The whole number at `key` (0 when absent and not `required`). A fraction, or a number
// beyond the field's type, is no entry: converting one to an integer is undefined.
template <typename Int>
Int wholeNumber(const json& line, const char* key, bool required)
{
    const auto found = line.find(key);
    if (found == line.end()) {
        if (required)
            throw std::invalid_argument(std::string("no \"") + key + "\"");
        return 0;
    }
    constexpr auto min = std::numeric_limits<Int>::min();
    constexpr auto max = std::numeric_limits<Int>::max();
    const bool fits = found->is_number_unsigned()
                          ? found->get<std::uint64_t>() <= static_cast<std::uint64_t>(max)
                          : found->is_number_integer() && found->get<std::int64_t>() >= min &&
                                found->get<std::int64_t>() <= max;
    if (!fits)
        throw std::invalid_argument(std::string("\"") + key +
                                    "\" is not a whole number in range: " + found->dump());
    return static_cast<Int>(found->get<std::int64_t>());
}

// Throws json exceptions for a line that is not an entry.
JournalEntry fromJson(const json& line)
{
    JournalEntry entry;
    const std::optional<StepKind> kind = kStepNames.find(line.at("step").get<std::string>());
    if (!kind)
        throw std::invalid_argument("unknown step " + line.at("step").dump());
    entry.kind = *kind;
    entry.timeMs = wholeNumber<std::int64_t>(line, "time_ms", true);
    entry.row = wholeNumber<int>(line, "row", false);
    entry.injection = wholeNumber<int>(line, "injection", false);
    entry.vial = wholeNumber<int>(line, "vial", false);
    entry.method = line.value("method", "");
    entry.methodSha256 = line.value("method_sha256", "");
    entry.text = line.value("text", "");
    entry.path = line.value("path", "");
    if (entry.kind == StepKind::SequenceStarted) {
        entry.runId = line.at("run_id").get<std::string>();
        entry.file = line.at("file").get<std::string>();
        entry.content = line.at("content").get<std::string>();
        entry.methods =
            line.at("methods").get<std::string>() == methodSourceName(MethodSource::Files)
                ? MethodSource::Files
                : MethodSource::Stored;
        entry.commandExecution = line.value("command_execution", "");
    }
    return entry;
}

std::string runIdOf(std::int64_t nowMs, int counter)
{
    const std::time_t seconds = static_cast<std::time_t>(nowMs / 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &utc);
    char counterText[8];
    std::snprintf(counterText, sizeof counterText, "-%02d", counter);
    return std::string(text) + counterText;
}

}  // namespace

const char* stepKindName(StepKind kind)
{
    return kStepNames(kind);
}

const char* methodSourceName(MethodSource source)
{
    return source == MethodSource::Files ? "files" : "stored";
}

json journalJson(const JournalEntry& entry)
{
    // Only the fields a step uses are written, so a journal reads as a log too.
    json line = {{"step", stepKindName(entry.kind)}, {"time_ms", entry.timeMs}};
    if (entry.row)
        line["row"] = entry.row;
    if (entry.injection)
        line["injection"] = entry.injection;
    if (entry.vial)
        line["vial"] = entry.vial;
    if (!entry.method.empty())
        line["method"] = entry.method;
    if (!entry.methodSha256.empty())
        line["method_sha256"] = entry.methodSha256;
    if (!entry.text.empty())
        line["text"] = entry.text;
    if (!entry.path.empty())
        line["path"] = entry.path;
    if (entry.kind == StepKind::SequenceStarted) {
        line["run_id"] = entry.runId;
        line["file"] = entry.file;
        line["methods"] = methodSourceName(entry.methods);
        line["content"] = entry.content;
        if (!entry.commandExecution.empty())
            line["command_execution"] = entry.commandExecution;
    }
    return line;
}

std::string journalLine(const JournalEntry& entry)
{
    // Texts in an entry may be the instrument's (a refusal, a not-ready reason): bytes that
    // are not UTF-8 are written as U+FFFD rather than failing the write.
    return journalJson(entry).dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
}

bool parseJournal(std::string_view text, const std::string& name, JournalContent& content,
                  std::string& error)
{
    content = JournalContent{};
    std::size_t start = 0;
    int number = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        const bool last = end == std::string_view::npos || end + 1 == text.size();
        const std::string_view line = text.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        ++number;
        start = end == std::string_view::npos ? text.size() : end + 1;
        try {
            // A line without its '\n' was never written whole, even if it parses.
            if (end == std::string_view::npos)
                throw std::invalid_argument("no end of line");
            content.entries.push_back(fromJson(json::parse(line)));
        } catch (const std::exception& e) {
            if (last) {
                content.torn = true;
                content.tornText = std::string(line);
                content.tornOffset = static_cast<std::size_t>(line.data() - text.data());
                break;
            }
            error = name + ":" + std::to_string(number) + ": not a journal entry: " + e.what();
            return false;
        }
    }
    return true;
}

bool readJournal(const std::string& path, JournalContent& content, std::string& error)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = systemError(path + ": cannot read");
        return false;
    }
    const std::string text(std::istreambuf_iterator<char>(file), {});
    return parseJournal(text, path, content, error);
}

std::string journalFolder()
{
    return homeDirectory() + "/sequences";
}

std::string journalPath(const std::string& folder, const std::string& runId)
{
    return folder + "/" + runId + kJournalSuffix;
}

std::vector<std::string> journalRunIds(const std::string& folder)
{
    std::vector<std::string> ids;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return ids;
    while (const dirent* item = ::readdir(dir)) {
        const std::string name = item->d_name;
        if (name.size() > std::strlen(kJournalSuffix) && name.ends_with(kJournalSuffix) &&
            name[0] != '.')
            ids.push_back(name.substr(0, name.size() - std::strlen(kJournalSuffix)));
    }
    ::closedir(dir);
    std::sort(ids.begin(), ids.end());
    return ids;
}

JournalWriter::JournalWriter(int fd, std::string path, std::string runId)
    : fd_(fd), path_(std::move(path)), runId_(std::move(runId))
{}

JournalWriter::~JournalWriter()
{
    ::close(fd_);
}

std::unique_ptr<JournalWriter> JournalWriter::create(const std::string& folder, std::int64_t nowMs,
                                                     std::string& error)
{
    if (!makeDirectories(folder)) {
        error = systemError(folder + ": cannot create the folder");
        return nullptr;
    }
    // Bounded: a hundred runs started within one second is not a lab's sequence.
    for (int counter = 1; counter <= 99; ++counter) {
        const std::string runId = runIdOf(nowMs, counter);
        const std::string path = journalPath(folder, runId);
        const int fd =
            ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0) {
            error = systemError(path + ": cannot create");
            return nullptr;
        }
        if (!syncFolder(folder)) {
            error = systemError(folder + ": cannot sync the folder");
            ::close(fd);
            ::unlink(path.c_str());
            return nullptr;
        }
        return std::unique_ptr<JournalWriter>(new JournalWriter(fd, path, runId));
    }
    error = folder + ": too many runs started in one second";
    return nullptr;
}

std::unique_ptr<JournalWriter> JournalWriter::reopen(const std::string& path, std::string& error)
{
    JournalContent content;
    if (!readJournal(path, content, error))
        return nullptr;
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0) {
        error = systemError(path + ": cannot open");
        return nullptr;
    }
    if (content.torn) {
        if (::ftruncate(fd, static_cast<off_t>(content.tornOffset)) != 0 || ::fsync(fd) != 0) {
            error = systemError(path + ": cannot cut off the torn last line");
            ::close(fd);
            return nullptr;
        }
    }
    std::string runId = path.substr(path.find_last_of('/') + 1);
    if (runId.ends_with(kJournalSuffix))
        runId.resize(runId.size() - std::strlen(kJournalSuffix));
    return std::unique_ptr<JournalWriter>(new JournalWriter(fd, path, runId));
}

bool JournalWriter::append(const JournalEntry& entry, std::string& error)
{
    const std::string line = journalLine(entry);
    // One write: with O_APPEND the line lands whole at the end, or (killed mid-write) as a
    // torn last line that the reader leaves out.
    const off_t before = ::lseek(fd_, 0, SEEK_END);
    ssize_t written;
    do {
        written = ::write(fd_, line.data(), line.size());
    } while (written < 0 && errno == EINTR);
    if (written != static_cast<ssize_t>(line.size())) {
        // A part of a line would glue the next entry to it: take it back.
        if (written > 0 && before >= 0 && ::ftruncate(fd_, before) == 0)
            ::fsync(fd_);
        error = written < 0 ? systemError(path_ + ": cannot write")
                            : path_ + ": the disk took only part of a journal line";
        return false;
    }
    if (::fsync(fd_) != 0) {
        error = systemError(path_ + ": cannot sync");
        return false;
    }
    return true;
}

}  // namespace gc6890
