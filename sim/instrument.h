// The whole instrument as one line endpoint: the GC, its stored method and the sampler,
// with the faults applied to what goes out. Lines come in without their terminator; the
// answers wait in an output queue, each due at an instrument time (most at once, the late
// injection answer and the stop answer later). Time moves only when advance() is called.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/clock.h"
#include "sim/faults.h"
#include "sim/gc_model.h"
#include "sim/replay.h"
#include "sim/sampler_model.h"
#include "sim/stored_method.h"

namespace gc6890::sim {

struct SimConfig {
    GcSettings gc;
    SamplerSettings sampler;
    Faults faults;
    // Answers from a capture before the model's (gc6890-sim --replay): a replayed line
    // goes past the model, which neither sees nor answers it.
    std::shared_ptr<Replay> replay;
    bool replayTiming = false;  // the capture's answer times, else at once
    // Told of a line the capture never saw, with the captured lines closest to it.
    std::function<void(const std::string& line, const std::vector<std::string>& closest)>
        unseenReplayLine;
};

class Instrument {
public:
    static constexpr std::int64_t kStepMs = 100;  // the model's time step

    Instrument(Clock& clock, SimConfig config = {});

    // One line from the host, without its line feed.
    void receive(std::string_view text);

    // Runs the model up to the clock's present time.
    void advance();

    // The next answer that is due now, without its line feed.
    std::optional<std::string> takeDue();
    // Instrument time at which the next queued answer falls due; -1 when none is queued.
    std::int64_t nextDueMs() const;
    // Instrument time of the next model step that may send a line by itself (the sampler's
    // late injection answer, its stop answer); -1 when nothing is under way.
    std::int64_t nextEventMs() const;

    // The hang-up fault has struck: the line is gone.
    bool hungUp() const { return hungUp_; }
    // Instrument time at which a delayed hang-up strikes; -1 when none is pending.
    std::int64_t hangUpDueMs() const { return hangUpDueMs_; }
    // A new line takes the place of the one that hung up: everything the instrument holds
    // (method, run state, sampler) stays; the answers lost with the old line stay lost,
    // and the hang-up fault counts lines afresh while it has strikes left.
    void reconnect();

    // Called with ('>', line) for each line received and ('<', line) for each line sent.
    // An answer held back on purpose (a late answer, the sampler's injection and stop
    // answers) is preceded by ('~', "held N ms after HEAD"): N ms of instrument time passed
    // between the command HEAD and its answer, the simulator's own think time.
    std::function<void(char direction, const std::string& line)> trace;

    Clock& clock() { return clock_; }
    GcModel& gc() { return *gc_; }
    SamplerModel& sampler() { return *sampler_; }
    StoredMethod& method() { return method_; }
    Faults& faults() { return config_.faults; }
    const SimConfig& config() const { return config_; }

private:
    struct Pending {
        std::int64_t dueMs;
        std::string text;
        std::int64_t heldMs;      // instrument time between the command and this answer
        std::string commandHead;  // the command answered
    };
    void queue(std::int64_t dueMs, std::string text, std::int64_t heldMs = 0,
               std::string commandHead = {});
    std::int64_t receivedAtMs(const std::string& head) const;
    bool hangUpArmed() const;
    void hangUp();

    Clock& clock_;
    SimConfig config_;
    StoredMethod method_;
    std::unique_ptr<GcModel> gc_;
    std::unique_ptr<SamplerModel> sampler_;
    std::deque<Pending> output_;
    std::map<std::string, std::int64_t> receivedAtMs_;  // last receipt time of each head
    std::int64_t modelMs_ = 0;
    int linesReceived_ = 0;
    bool hungUp_ = false;
    int hangUpsSoFar_ = 0;
    std::int64_t hangUpDueMs_ = -1;
};

}  // namespace gc6890::sim
