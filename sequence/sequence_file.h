// The sequence file: a name, what to do on an error, and the rows of a tray, read from TOML
// into plain data. Errors name the file, the line and the key as method files' errors do.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace gc6890 {

// What a row's failure (a vial the sampler refuses, a GC that stays not ready) leads to.
enum class ErrorRule { Pause, SkipRow, Abort };
const char* errorRuleName(ErrorRule rule);  // "pause", "skip", "abort"

inline constexpr int kMaxSequenceRows = 999;
inline constexpr int kMaxInjectionsPerVial = 99;
inline constexpr std::size_t kMaxSequenceNameLength = 100;
inline constexpr std::size_t kMaxSampleNameLength = 100;
// The largest sequence file read; a tray of the largest size fits many times over.
inline constexpr std::size_t kMaxSequenceFileBytes = 1 << 20;

struct SequenceRow {
    int line = 0;  // where the row's table starts in the file
    int vial = 0;
    // As written: a stored method's name when the service runs the sequence, a method
    // file when the host program runs it on the line (see sequenceMethodFile).
    std::string method;
    float volume = 1.0f;
    int injections = 1;
    std::string sample;  // "vial <N>" when the file gives none
};

struct Sequence {
    std::string name;
    ErrorRule onError = ErrorRule::Pause;
    std::vector<SequenceRow> rows;
};

// Where and why a sequence file was refused, as the reader found it: the API answers with
// its parts, the programs print its text.
struct SequenceFileError {
    std::string file;
    long line = 0;        // 0: the file as a whole (it cannot be read, it is too large)
    long column = 0;      // text that is not TOML only
    std::string key;      // "row[2].vial" (rows counted from 1); "" for text that is not TOML
    std::string problem;  // "0 is out of range (1 to 10000)", "not TOML: ..."
    // "<file>:<line>: <key>: <problem>", "<file>:<line>:<column>: not TOML: ...", or
    // "<file>: <problem>" for the file as a whole.
    std::string text() const;
};

// Row `number` (from 1) of `file` names a method that cannot be had: `problem` says why.
SequenceFileError rowMethodError(const std::string& file, const SequenceRow& row,
                                 std::size_t number, const std::string& problem);

// Reads a sequence from `text`. On failure returns false with `error` set;
// `sequence` is then undefined.
bool parseSequence(std::string_view text, const std::string& fileName, Sequence& sequence,
                   SequenceFileError& error);

// Reads and parses the file at `path`; `text` receives its content (the journal keeps it).
bool readSequenceFile(const std::string& path, Sequence& sequence, std::string& text,
                      SequenceFileError& error);

// The method file a row names when the host program runs the sequence on the line: ".toml"
// is added when the name does not end in it; a path is taken from the sequence file's folder;
// a bare name is the file of that name beside the sequence file when there is one, else
// the method of that name in the methods folder (the MethodFolder setting).
std::string sequenceMethodFile(const std::string& sequenceFile, const std::string& method);

}  // namespace gc6890
