// The sequence runner: takes a tray row by row through the instrument (load the row's
// method when it changes, wait for the GC to be ready, inject, follow the run, write its
// record) and journals every step before relying on it. It is a step machine: step() does
// what is due and returns, so the service calls it between its polls and jobs on the
// instrument thread, and the host program calls it between its own polls on the line; the
// instrument is reached only through SequenceInstrument.
//
// Its state is the journal's: the file is read once, then every entry moves the recovery
// plan on exactly as reading the journal back would (advancePlan), so the state a restart
// finds is the state the runner had.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "sequence/journal.h"
#include "sequence/recovery_plan.h"
#include "sequence/sequence_clock.h"
#include "sequence/sequence_instrument.h"

namespace gc6890 {

// A bounded wait for the GC to be ready before an injection: a cooling oven after a hot
// run takes minutes, a GC that stays not ready for half an hour needs someone.
inline constexpr std::int64_t kReadyLimitMs = 30 * 60 * 1000;
// The sampler's own wait for its late injection answer: an answer that comes no sooner
// only ended that wait (a time-out counts as accepted), without saying that it injected.
inline constexpr std::int64_t kSamplerAnswerWaitMs = 300 * 1000;
// After such an answer a run must be seen within this (the sampler's wait and half a
// minute for its preparation), as for a single run.
inline constexpr std::int64_t kRunStartLimitMs = 330 * 1000;

// The reasons of the pauses a person asked for (the pause request, a stop request); any
// other pause is the sequence's own, for a fault that needs someone (results that could
// not be written, a failed row, an uncertain injection), and /healthz reports it.
inline constexpr const char* kPausedByOperator = "paused by the operator";
inline constexpr const char* kStoppedByRequest = "stopped by a stop request";
inline bool pausedByPerson(const std::string& reason)
{
    return reason == kPausedByOperator || reason == kStoppedByRequest;
}

// The sequence's state as GET /api/v1/sequences/{id} gives it, from a plan alone (a journal
// read from disk) or with the runner's live step.
nlohmann::json sequenceJson(const RecoveryPlan& plan);

class SequenceRunner {
public:
    // Each journal entry, and the runner's own notices (waiting for the GC), as a
    // "sequence" event; `state` is the sequence's summary().
    using Publish = std::function<void(const nlohmann::json& event)>;

    SequenceRunner(SequenceInstrument& instrument, Publish publish,
                   const SequenceClock& clock = systemSequenceClock());
    ~SequenceRunner();
    SequenceRunner(const SequenceRunner&) = delete;
    SequenceRunner& operator=(const SequenceRunner&) = delete;

    // Starts a new run of `sequence` (the file `content` as parseSequence read it): a journal
    // in `folder` beginning with the whole file. False with `error` when the journal cannot
    // be made. `commandExecution`: the SiLA 2 execution that starts it, journalled with it.
    bool start(const std::string& folder, const std::string& file, const std::string& content,
               const Sequence& sequence, MethodSource methods, std::string& error,
               const std::string& commandExecution = "");
    // Goes on with the unfinished journal at `path` (a restart): nothing is injected before
    // the GC and the sampler have been asked about an injection left without an answer.
    bool recover(const std::string& path, std::string& error);

    // Does what is due now. Returns at once, except while a method is downloaded.
    void step();

    // No new injection: at once between injections, else after the current run's record.
    void pause(const std::string& reason);
    // Goes on after a pause; `skipRow` skips the row it paused on. False with `error` when
    // the sequence is not paused.
    bool resume(bool skipRow, std::string& error);
    // Ends the sequence; a run under way is stopped and its record written first.
    void abort(const std::string& reason);
    // A stop request ended the current run (or injection): its record is written and the
    // sequence pauses.
    void stopped();

    const std::string& runId() const;
    // The SHA-256 of the method the GC was last given, as journalled: after a restart, the
    // one the run followed on was injected with.
    const std::string& loadedMethodSha256() const { return loadedSha256_; }
    // Running, pausing or paused: the journal is unfinished.
    bool active() const;
    bool paused() const;
    // Running (or pausing): step() has work to do.
    bool running() const;
    nlohmann::json json() const;
    // json() without the rows, for events.
    nlohmann::json summary() const;

    // What json() is made of, but for the plan's content, which moves only with `changes`:
    // two equal marks give the same json(), so a caller polling the runner publishes its
    // state only when the mark moved (the service's board, every 100 ms).
    struct Mark {
        std::uint64_t changes = 0;  // journal entries written or failed, runs started
        int step = 0;
        int row = 0;
        int injection = 0;
        bool pausing = false;
        bool aborting = false;
        bool operator==(const Mark&) const = default;
    };
    Mark mark() const;

private:
    enum class Step {
        Plan,         // choose the next injection from the plan
        Load,         // load the row's method
        WaitReady,    // wait for the GC (bounded)
        Inject,       // journal "about to inject", then inject
        AwaitAnswer,  // the sampler's late answer
        FollowRun,    // the run to its end
        WriteRecord,  // the run's record
        Resolve,      // a restart found an injection without an answer
    };

    // Writes the entry, moves the plan on and announces it. False (the sequence paused)
    // when it could not be written.
    bool journal(JournalEntry entry);
    bool append(JournalEntry& entry);
    void announce(const JournalEntry& entry);
    void choose();
    void loadMethod();
    void waitReady(const InstrumentView& view);
    void inject();
    void awaitAnswer();
    void followRun(const InstrumentView& view);
    void writeRecord();
    void resolve(const InstrumentView& view);
    void injected(const std::string& text);
    void refused(const std::string& text);
    void rowFailed(const std::string& reason);
    void pauseNow(const std::string& reason);
    void notice(const std::string& what, const std::string& text);
    const SequenceRow& row() const;
    std::string method() const;
    bool pollSince() const;

    SequenceInstrument& instrument_;
    Publish publish_;
    const SequenceClock& clock_;
    std::unique_ptr<JournalWriter> writer_;
    RecoveryPlan plan_;
    std::uint64_t planChanges_ = 0;  // each time plan_ was made or moved

    Step step_ = Step::Plan;
    int row_ = 0;  // the injection under way (from 1)
    int injection_ = 0;
    std::string loaded_;         // the method the GC holds as far as we know ("" unknown)
    std::string loadedSha256_;   // its content's SHA-256, as journalled, for the results
    std::uint64_t opPolls_ = 0;  // the poll count when the last operation was made
    std::int64_t stepSinceMs_ = 0;
    std::int64_t injectedMs_ = 0;  // Unix time of the injection (for the run's history)
    std::int64_t endedMs_ = 0;
    std::string endNote_;
    bool runSeen_ = false;
    std::int64_t injectSentMs_ = 0;  // steady time the injection was sent
    bool recovered_ = false;         // the run in FollowRun was found after a restart
    bool waitTold_ = false;
    bool pauseRequested_ = false;
    std::string pauseReason_;
    bool abortRequested_ = false;
    std::string abortReason_;
    bool stopped_ = false;
};

}  // namespace gc6890
