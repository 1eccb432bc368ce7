// A GC and sampler for the sequence runner that the test moves on poll by poll: an
// accepted injection starts a run of `runPolls` polls; what the runner asked is written to
// `log` ("load a", "inject 2", "stop", "record a"). It lives on through a runner's "kill",
// as the instrument outlives a killed service.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "sequence/sequence_clock.h"
#include "sequence/sequence_instrument.h"

namespace gc6890::test {

// Thrown where the test kills the runner: out of the publish callback right after a
// journal entry, or out of startInjection once the sampler has it.
struct Killed {};

class FakeInstrument : public SequenceInstrument {
public:
    // What the test sets.
    std::set<std::string> badMethods;  // load refuses these
    std::set<int> missingVials;        // refused at once
    std::set<int> lateRefusals;        // refused in the late answer
    bool lateAnswer = false;           // the answer comes with the next poll
    int answerPolls = 1;               // or with this many polls after the injection
    int runPolls = 3;
    int notReadyPolls = 0;    // polls the GC is not ready for, from the next one
    bool everReady = true;    // false: never ready after the first run
    int killOnInjection = 0;  // this vial's injection is taken, then Killed thrown
    std::vector<std::string> log;

    // The next poll: a late answer settles, a run goes on or ends.
    void poll();
    // The vials injected from, in order: "1 2 2".
    std::string injected() const;

    bool load(const std::string& method, std::string& error) override;
    std::string methodSha256(const std::string& method) override;
    bool startInjection(const std::string& method, int vial, float volume,
                        std::string& error) override;
    InjectionAnswer injection(std::string& error) override;
    void stop() override;
    InstrumentView view() override { return view_; }
    bool record(const std::string& method, float volume, std::string& text) override;
    nlohmann::json history(std::int64_t fromMs, std::int64_t toMs) override;

private:
    void accept();

    InstrumentView view_{.lineUp = true, .gcReady = true, .notReady = ""};
    InjectionAnswer answer_ = InjectionAnswer::Accepted;
    int answerVial_ = 0;
    int answerLeft_ = 0;
    int runLeft_ = 0;
    int runs_ = 0;
};

// A clock the test moves.
class FakeClock : public SequenceClock {
public:
    std::int64_t steadyMs() const override { return nowMs; }
    std::int64_t unixMs() const override { return 1'800'000'000'000 + nowMs; }
    std::int64_t nowMs = 0;
};

}  // namespace gc6890::test
