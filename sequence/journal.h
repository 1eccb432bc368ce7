// The journal of a sequence run: one JSON line per step, each appended with one write and
// made durable before the step's effect is relied on, so that after a kill or a power
// failure the journal tells exactly which vials were injected.
//
// Journals live in $GC6890_HOME/sequences/<run id>.journal. A run id is the UTC time the
// run started and a two-digit counter, "20261206T031500Z-01"; ids sort in start order, and
// the journal file is created exclusively, so two runs started in the same second get
// different ids.
#pragma once

#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace gc6890 {

enum class StepKind {
    SequenceStarted,   // the whole sequence file (content), so a restart needs nothing else
    RowStarted,        // row
    MethodLoaded,      // row, method, methodSha256
    AboutToInject,     // row, injection, vial: written before the sampler is asked
    Injected,          // row, injection, vial, text: the sampler's answer
    InjectionRefused,  // row, injection, vial, text: the refusal; the vial was not injected
    RunEnded,          // row, injection
    RecordWritten,     // row, injection, path: the results folder
    Paused,            // text: the reason
    Resumed,
    RowSkipped,  // row, text: why
    Aborted,     // text: why
    Finished,
};

// "sequence started", "about to inject", ... as written in the journal's "step" field.
const char* stepKindName(StepKind kind);

// How the sequence names its methods: stored names (the service) or method files (the host
// program on the line).
enum class MethodSource { Stored, Files };
const char* methodSourceName(MethodSource source);  // "stored", "files"

struct JournalEntry {
    StepKind kind = StepKind::SequenceStarted;
    std::int64_t timeMs = 0;  // Unix time
    int row = 0;              // from 1; 0 when the step is not about a row
    int injection = 0;        // from 1; 0 when the step is not about an injection
    int vial = 0;
    std::string method{};  // method loaded
    // The SHA-256 of the method file's bytes the GC was given (method loaded); journals
    // written before it was kept lack it, and read with it empty.
    std::string methodSha256{};
    std::string text{};  // the sampler's answer, a refusal, a reason
    std::string path{};  // record written: the results folder
    // Sequence started only:
    std::string runId{};
    std::string file{};     // the sequence file as given, for relative method files
    std::string content{};  // the sequence file's text
    MethodSource methods = MethodSource::Stored;
    // The SiLA 2 command execution that started the run ("" for any other door): kept so
    // that its UUID answers again after a restart. Journals written before it lack it.
    std::string commandExecution{};
};

// The entry as a JSON object: the step's name and the fields it uses.
nlohmann::json journalJson(const JournalEntry& entry);
// One journal line: journalJson and '\n'.
std::string journalLine(const JournalEntry& entry);

struct JournalContent {
    std::vector<JournalEntry> entries;
    // The last line was cut short (a kill or power failure during its write) and is left
    // out; `tornText` holds what there was of it.
    bool torn = false;
    std::string tornText;
    std::size_t tornOffset = 0;  // where the torn line starts
};

// Reads journal text. A last line that is not a whole entry is torn (reported, left out);
// any other line that is not an entry fails with "<name>:<line>: <problem>".
bool parseJournal(std::string_view text, const std::string& name, JournalContent& content,
                  std::string& error);
bool readJournal(const std::string& path, JournalContent& content, std::string& error);

// $GC6890_HOME/sequences
std::string journalFolder();
std::string journalPath(const std::string& folder, const std::string& runId);
// The run ids that have a journal in `folder`, oldest first.
std::vector<std::string> journalRunIds(const std::string& folder);

// Appends entries to one journal file.
class JournalWriter {
public:
    // Makes a new run id from `nowMs` and creates its journal in `folder` (made when missing)
    // exclusively; the folder is synced so that the new file survives a power failure.
    static std::unique_ptr<JournalWriter> create(const std::string& folder, std::int64_t nowMs,
                                                 std::string& error);
    // Opens an existing journal to go on with it after a restart. A torn last line is cut
    // off first, so the next entry starts on a line of its own.
    static std::unique_ptr<JournalWriter> reopen(const std::string& path, std::string& error);
    ~JournalWriter();
    JournalWriter(const JournalWriter&) = delete;
    JournalWriter& operator=(const JournalWriter&) = delete;

    const std::string& runId() const { return runId_; }
    const std::string& path() const { return path_; }

    // One write of the whole line, then fsync: when this returns true the entry is on disk.
    // False (with `error`) when it could not be written whole; the caller must not rely on
    // the step then.
    bool append(const JournalEntry& entry, std::string& error);

private:
    JournalWriter(int fd, std::string path, std::string runId);
    int fd_;
    std::string path_;
    std::string runId_;
};

}  // namespace gc6890
