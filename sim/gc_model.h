// The GC itself: echo tests, identity, pass-through ports, the run state machine (idle,
// pre-run, run, post-run) driven by commands and time, readiness and status words, the
// oven and the column readings, the run table, display lines, zone switches and the
// configuration commands, and the exchanges of the stored method.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "sim/faults.h"
#include "sim/line_format.h"
#include "sim/stored_method.h"

namespace gc6890::sim {

struct GcSettings {
    std::string product = "HP 6890 GC";  // characters 8-17 of the identity reply
    std::string firmware = "A.03.05";    // up to eleven characters; "REV N" marks that variant
    bool backInlet = true;
    std::optional<Hardware> hardware;  // from a profile; unset: as backInlet and ovenLimit say
    bool autoPrepRun = false;          // the GC goes into pre-run by itself whenever it is idle
    bool startCold = false;            // the oven starts at ambient instead of at its set point
    double ambient = 25.0;
    double heatRate = 120.0;  // oven degrees per minute
    double coolRate = 45.0;
    int ovenLimit = 450;    // the highest oven maximum a method may set
    bool blankRun = false;  // runs are reported as blank runs
    bool columnCompensation = false;
    bool sequence = false;           // the GC reports a sequence running
    std::uint32_t notReadyBits = 0;  // forced into status word 0
    std::uint32_t shutdownBits = 0;  // status word 8: shutdowns and scram
    std::array<int, 3> nonFatal{};   // status words 10 to 12
};

struct RunTableEntry {
    double time = 0.0;  // minutes
    int type = 0;
    int value = 0;
};

class GcModel {
public:
    enum class RunState { Idle = 0, PreRun = 1, Run = 2, PostRun = 3 };
    enum class Outcome { Reply, Silent, NotMine };

    GcModel(const GcSettings& settings, const Faults& faults, StoredMethod& method);

    // Answers one line addressed to the GC. Reply: `reply` holds the answer. Silent: a
    // command the GC takes without answering. NotMine: nobody at that address.
    Outcome handle(const Line& line, std::int64_t nowMs, std::string& reply);

    // Moves the model on by one time step ending at nowMs.
    void step(std::int64_t nowMs, double dtSeconds);

    // What the sampler needs: whether an injection may go in now, and the start signal.
    bool readyForInjection() const;
    bool startRun(std::int64_t nowMs);

    RunState runState() const { return state_; }
    bool portOpen(int port) const { return openPorts_.count(port) != 0; }
    double ovenTemperature() const { return ovenTemperature_; }
    double ovenSetpoint() const;
    bool zonesReady() const;
    double runLengthMinutes() const;
    double elapsedMinutes() const;
    double columnPressure(int column) const;  // psi
    double columnFlow(int column) const;      // ml/min
    const std::array<std::string, 4>& display() const { return display_; }
    int contactClosure() const { return contactClosure_; }
    const std::vector<RunTableEntry>& runTable() const { return runTable_; }
    bool zoneOn(const std::string& address) const;

private:
    std::string answerRunState() const;
    std::string answerReadiness() const;
    std::string answerStatusWords() const;
    std::string answerConfiguration() const;
    void addRunTableEntry(const Line& line);
    void enterPostRun();
    double programValue(double minutes) const;  // oven program at a run time
    double initialTemperature() const;
    double postRunMinutes() const;
    double equilibrationMinutes() const;
    double columnSetpoint(int column, bool& flowMode) const;

    GcSettings settings_;
    const Faults& faults_;
    StoredMethod& method_;

    RunState state_ = RunState::Idle;
    std::int64_t nowMs_ = 0;
    std::int64_t runStartMs_ = 0;
    std::int64_t postRunStartMs_ = 0;
    double runLength_ = 0.0;  // minutes, fixed when the run starts
    double ovenTemperature_ = 25.0;
    std::int64_t settledSinceMs_ = -1;  // oven within a degree of its set point since
    std::set<std::string> zonesOff_;
    std::set<int> openPorts_;
    bool portFreed_ = false;  // a close was received (for BusyPort::UntilClosed)
    std::array<std::string, 4> display_;
    int contactClosure_ = 0;
    std::vector<RunTableEntry> runTable_;
    std::size_t nextRunEvent_ = 0;
};

}  // namespace gc6890::sim
