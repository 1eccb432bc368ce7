// The results of one injection of a sequence: its experiment record, the status history of
// its run and its times, as text and JSON, in a folder of its own:
//   $GC6890_HOME/results/<sequence>-<run id>/<row>-<injection>-<sample>/
//     record.txt  the experiment record (GC part, sampler part, injection volume)
//     run.txt     what was run and when, then the status history as a table
//     run.json    the same with the record, for programs (method_sha256: the method's
//                 SHA-256, absent from folders written before it was kept)
// The folder is filled under a hidden name and renamed into place, so a kill leaves either
// the whole folder or none; an existing folder is never written into or replaced (the new
// one gets "-2", "-3", ...).
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace gc6890 {

struct RunResult {
    std::string sequence;  // the sequence's name
    std::string runId;
    int row = 0;  // from 1
    int injection = 0;
    int vial = 0;
    std::string sample;
    std::string method;
    // The SHA-256 of the method file's bytes the GC was given ("" when it could not be read).
    std::string methodSha256{};
    float volume = 1.0f;
    std::int64_t startMs = 0;  // Unix time of the injection
    std::int64_t endMs = 0;    // Unix time the run was seen to end
    std::string note{};        // how the run ended when not plainly ("the run was stopped")
    std::string record;        // the experiment record text
    // The status over the run as /api/v1/history gives it: an object of equal-length
    // arrays, "time_ms" (Unix time) and one array per reading.
    nlohmann::json history = nlohmann::json::object();
};

// $GC6890_HOME/results
std::string resultsFolder();

// `name` made safe as one file name on any disk: letters, digits, '.', '-' and '_' are
// kept, every other run of bytes becomes one '_'; never empty, never starting with '.',
// at most 64 bytes.
std::string safeFileName(std::string_view name);

// "003-1-standard_1": the row (three digits, so folders sort in running order), the
// injection and the sample's safe name.
std::string resultLeafName(int row, int injection, std::string_view sample);

// An injection made on its own, outside a sequence (a run job of the service, whichever door
// asked for it, or `gc6890 run` on the line): filed as the one row of a run of its own,
// "run-<UTC start, 20261207T131500Z>-<source>/001-1-vial_<N>", so that every injection has
// its folder in the sequences' format. The caller adds the end, note, record and history.
RunResult singleInjectionResult(const std::string& source, const std::string& method, int vial,
                                float volume, std::int64_t startMs);

// Writes the folder below `root` (made when missing). True with `folder` set to its path;
// false with `error` naming the file and the reason, leaving no folder behind.
bool writeRunResult(const std::string& root, const RunResult& result, std::string& folder,
                    std::string& error);

}  // namespace gc6890
