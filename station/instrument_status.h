// The instrument's status as one value: the GC's and the sampler's records merged, the
// GC's own run state (pre-run included) and the parts' own views the sequence runner
// decides on. Its JSON is the one path for "gc6890 status --json", the service's client
// and the status the service publishes.
#pragma once

#include <array>
#include <nlohmann/json.hpp>
#include <string>

#include "station/run_state.h"

class CInletSystemStatus;

namespace gc6890 {

struct InstrumentStatus {
    // The merged record, as the host program has always shown it.
    bool running = false;  // the GC in a run, or the sampler injecting
    bool postRunning = false;
    bool notReady = false;
    bool error = false;
    std::string statusText;  // texts as the instrument sent them, trailing blanks removed
    std::string notReadyText;
    std::string errorText;
    float elapsedMin = 0.0f;
    float ovenTemperature = 0.0f;  // °C
    float column1Pressure = 0.0f;  // psi
    float column1Flow = 0.0f;      // mL/min
    RunState runState = RunState::Idle;

    // Not in the JSON: each part's own view before the merge.
    bool gcReady = true;
    std::string gcNotReadyText;
    bool samplerInjecting = false;

    // Without a channel the GC's poll answers from its cache and says so in its error text.
    bool commsFailure() const;
};

// The keys to_json writes, in its order: each is a property of the service's Status object.
inline constexpr std::array<const char*, 12> kStatusKeys = {
    "running",          "post_running",     "not_ready",    "error",
    "status_text",      "not_ready_text",   "error_text",   "elapsed_min",
    "oven_temperature", "column1_pressure", "column1_flow", "run_state"};

// Readings keep the precision the status has always been written with (4 significant
// digits for time and oven, 6 for pressure and flow); text becomes valid UTF-8.
void to_json(nlohmann::json& out, const InstrumentStatus& status);
void to_json(nlohmann::ordered_json& out, const InstrumentStatus& status);  // keys in order
// Missing keys keep their defaults, so an older service's status still reads.
void from_json(const nlohmann::json& in, InstrumentStatus& status);

// The merged record's part of the status (run state and the parts' views stay default).
InstrumentStatus statusOfRecord(CInletSystemStatus& record);

}  // namespace gc6890
