// What the sequence runner keeps of one injection's run, handed to the results writer.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

namespace gc6890 {

struct RunRecord {
    std::string sequence;  // the sequence's name
    std::string runId;
    int row = 0;
    int injection = 0;
    int vial = 0;
    std::string sample;
    std::string method;
    float volume = 1.0f;
    std::int64_t startMs = 0;  // Unix time of the injection
    std::int64_t endMs = 0;    // Unix time the run was seen to end
    std::string note;          // how the run ended when not plainly ("the run was stopped")
    std::string record;        // the experiment record text
    nlohmann::json history;    // the status history over the run
};

// Writes the run's results folder; its path, or false with `error`.
bool writeRunRecord(const RunRecord& run, std::string& path, std::string& error);

}  // namespace gc6890
