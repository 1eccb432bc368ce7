// What a journal says about a run: the state of every injection of every row, and where
// and how the run goes on after a restart. A pure function of the journal's entries, so
// the service, the host program and the tests read a journal the same way; the runner
// keeps its plan by moving it on entry by entry (advancePlan), which gives the same plan as
// reading the whole journal back (planRecovery), without reading the sequence file again.
//
// The rules: an injection journalled as injected is never injected again; one journalled
// as "about to inject" with no answer is uncertain and is resolved by asking the GC and the
// sampler, never by injecting on guesswork; after a restart the method the GC holds is
// unknown, so it is reloaded before the next injection.
#pragma once

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "sequence/journal.h"
#include "sequence/sequence_file.h"

namespace gc6890 {

enum class InjectionState {
    NotStarted,
    Uncertain,  // "about to inject" with no answer: the vial may or may not have been injected
    Refused,    // the sampler refused; the vial was not injected (tried again on resume)
    Injected,   // the sampler accepted; the run has not been seen to end
    RunEnded,   // the run ended; its record is not written yet
    RecordWritten,
    Skipped,  // its row was skipped
};
// "not started", "uncertain", "refused", "injected", "run ended", "record written", "skipped"
const char* injectionStateName(InjectionState state);

struct InjectionProgress {
    int row = 0;  // from 1
    int injection = 0;
    int vial = 0;
    std::string sample;
    InjectionState state = InjectionState::NotStarted;
    std::string record;  // the results folder, once written
};

// What the runner does first for the injection it goes on with.
enum class NextAction {
    None,         // nothing: the run finished or was aborted
    Inject,       // load the row's method (see reloadMethod) and inject
    Resolve,      // ask the GC and the sampler about the uncertain injection (see below)
    FollowRun,    // the injection was made: follow its run (if any is still going) to its end
    WriteRecord,  // the run ended: write its record
};
const char* nextActionName(NextAction action);  // "none", "inject", "resolve", ...

enum class RunOutcome { Running, Paused, Finished, Aborted };
const char* runOutcomeName(RunOutcome outcome);  // "running", "paused", "finished", "aborted"

struct RecoveryPlan {
    bool ok = false;    // false: no "sequence started" entry, or its content is not a sequence
    std::string error;  // why not
    std::string runId;
    std::string file;
    std::string content;
    MethodSource methods = MethodSource::Stored;
    std::string commandExecution;  // the SiLA 2 execution that started it, if one did
    Sequence sequence;

    std::vector<InjectionProgress> injections;  // every row's injections, in running order
    std::set<int> skippedRows;  // not gone on with, even an injection of theirs already made
    RunOutcome outcome = RunOutcome::Running;
    std::string reason;  // why it paused or was aborted

    // Where the run goes on: the first injection that is neither recorded nor skipped.
    NextAction next = NextAction::None;
    int nextRow = 0;  // from 1; 0 with NextAction::None
    int nextInjection = 0;
    // After a restart the GC's method is unknown: it is loaded again before the next
    // injection, even when the journal says it was loaded.
    bool reloadMethod = true;
};

// The plan of a whole journal: its "sequence started" entry's content read once, then
// every later entry.
RecoveryPlan planRecovery(const std::vector<JournalEntry>& entries);

// The plan of a run whose journal holds only `started` (its "sequence started" entry), with
// `sequence` as parseSequence read the entry's content.
RecoveryPlan startPlan(const JournalEntry& started, Sequence sequence);
// The plan moved on by the journal's next entry: what planRecovery gives for the journal
// with that entry added.
void advancePlan(RecoveryPlan& plan, const JournalEntry& entry);

// The newest run in `folder` whose methods come from `source` and that `accept` takes, with
// its journal's path; none when no journal there does. A journal that cannot be read is
// passed over, its error told to `unreadable` when one is given.
struct JournalledRun {
    std::string path;
    RecoveryPlan plan;
};
std::optional<JournalledRun> newestRun(
    const std::string& folder, MethodSource source,
    const std::function<bool(const RecoveryPlan&)>& accept,
    const std::function<void(const std::string& error)>& unreadable = {});

// What the operator is told when an uncertain injection is found with the GC not in a run
// and the sampler not injecting: what to check, and what resume and abort then do.
std::string uncertainInjectionMessage(const RecoveryPlan& plan);

}  // namespace gc6890
