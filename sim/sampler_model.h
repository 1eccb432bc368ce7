// The sampler, device "01" behind pass-through port 1 of the GC, and its tower
// configuration ("ASHTCW ?"). An injection goes through its phases in time: preparing
// (waits for the GC to be ready), injecting, then the GC run it started.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>

#include "sim/faults.h"
#include "sim/gc_model.h"
#include "sim/line_format.h"

namespace gc6890::sim {

enum class InjectionAnswer {
    Immediate,  // "SINJECT" is answered at once
    Late,       // no answer; "HT01SINJECT code" comes unsolicited when the injection happens
};

struct SamplerSettings {
    bool installed = true;  // false: the configuration answer reports no tray and no towers
    bool frontTower = true;
    bool backTower = true;
    int trayPositions = 100;
    std::set<int> missingVials;  // tray positions without a vial
    InjectionAnswer answer = InjectionAnswer::Immediate;
    std::int64_t prepareMs = 8000;    // washes and pumps before the injection
    std::int64_t injectMs = 1000;     // the syringe in the inlet
    std::int64_t stopSettleMs = 500;  // the time a stop takes before it is answered
    int maxVolumeStep = 5;            // 6 on the "REV N" variant
};

// Result codes of the sampler.
enum SamplerCode {
    kSamplerOk = 0,
    kSamplerSyntax = 1,       // malformed command
    kSamplerOutOfRange = 2,   // a set point or a vial outside the tray
    kSamplerNoVial = 3,       // no vial at that tray position
    kSamplerBusy = 4,         // an injection is already under way
    kSamplerNoTower = 5,      // the injector tower for that inlet is not fitted
    kSamplerAborted = 8,      // the injection was stopped before it happened
    kSamplerPortClosed = 51,  // pass-through port 1 is not open
};

class SamplerModel {
public:
    // `emit` sends a later answer (the late injection answer, the stop answer) with the head
    // of the command it answers, so the reply faults of that command apply to it.
    using Emit = std::function<void(const std::string& commandHead, const std::string& line)>;

    SamplerModel(const SamplerSettings& settings, const Faults& faults, GcModel& gc, Emit emit);

    // Handles "01HT..." lines and "ASHTCW ?"; returns false for other lines.
    // `answered` is false when the line gets no immediate answer.
    bool handle(const Line& line, std::int64_t nowMs, bool& answered, std::string& reply);

    void step(std::int64_t nowMs);

    // Something under way that step() will move on: an injection, or a stop to answer.
    bool timed() const { return phase_ != Phase::Idle || stopAnswerDueMs_ >= 0; }

    // 0 ready, 1 busy, 2 injecting, 3 post-run.
    int statusCode() const;
    int injections() const { return injections_; }
    int currentVial() const { return vial_; }
    bool setPointsLoaded() const { return !setPoints_.empty(); }

    // Told of each injection as the syringe enters the inlet, with its vial.
    std::function<void(int vial)> onInjection;
    const std::string& setPoints() const { return setPoints_; }

private:
    enum class Phase { Idle, Preparing, Injecting };

    int validateSetPoints(const std::string& text) const;
    int startInjection(const std::string& text, std::int64_t nowMs);
    void cancelInjection();

    SamplerSettings settings_;
    const Faults& faults_;
    GcModel& gc_;
    Emit emit_;

    Phase phase_ = Phase::Idle;
    std::int64_t phaseStartMs_ = 0;
    bool answerOwed_ = false;  // a late injection answer is still to be sent
    int owedCode_ = 0;         // what it will say (a missing vial is found late)
    std::int64_t stopAnswerDueMs_ = -1;
    std::string stopAnswer_;
    std::string stopHead_;
    int vial_ = 0;
    int injections_ = 0;
    std::string setPoints_;
};

}  // namespace gc6890::sim
