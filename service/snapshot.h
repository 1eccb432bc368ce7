// What the instrument thread publishes after each poll and everyone else reads without
// waiting on the line: an immutable snapshot, replaced as a whole (the holder swaps a
// shared pointer), its status as a value and its JSON object made once, by the poll.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>

#include "sequence/sequence_clock.h"
#include "station/instrument_status.h"

namespace gc6890 {

enum class LineState { Up, Rebuilding, Down };
const char* lineStateName(LineState state);  // "up", "rebuilding", "down"

struct Snapshot {
    std::uint64_t polls = 0;    // successful polls so far
    std::int64_t timeMs = 0;    // Unix time of the last successful poll (0: none yet)
    std::int64_t steadyMs = 0;  // the same on the steady clock, for the age
    LineState line = LineState::Down;
    std::string lineReason;  // why the line is not up ("" when it is)
    RunState run = RunState::Idle;
    bool inRun = false;       // a run under way (runUnderWay), or the sampler injecting
    InstrumentStatus status;  // as the last good poll read it
    // The status object of the last good poll (null before one), without the keys that
    // change between snapshots: statusObject adds those.
    nlohmann::json json;
};

class SnapshotHolder {
public:
    SnapshotHolder() : current_(std::make_shared<const Snapshot>()) {}

    std::shared_ptr<const Snapshot> get() const
    {
        std::lock_guard lock(mutex_);
        return current_;
    }
    void set(std::shared_ptr<const Snapshot> snapshot)
    {
        std::lock_guard lock(mutex_);
        current_ = std::move(snapshot);
    }

private:
    mutable std::mutex mutex_;  // held only to copy or swap the pointer
    std::shared_ptr<const Snapshot> current_;
};

// A reading for JSON: the float's value to the GC's own resolution (0.0001), without the
// digits a float gains on its way to a double.
double tidyReading(float value);

// Milliseconds on the steady clock and Unix time.
std::int64_t steadyNowMs();
std::int64_t unixNowMs();

// The status object as GET /api/v1/status, the status event and MQTT give it: the
// snapshot's JSON with the line's state ("line", "line_reason", "stale"), the age of the
// last good poll ("age_ms", null before one) and `job` (a job object, or null) added.
nlohmann::json statusObject(const Snapshot& snapshot, nlohmann::json job, std::int64_t nowSteadyMs);

}  // namespace gc6890
