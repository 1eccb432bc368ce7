#include "sequence/sequence_runner.h"

#include <csignal>
#include <cstdlib>

#include "sequence/results_writer.h"

namespace gc6890 {

using nlohmann::json;

namespace {

const char* rowStateOf(const RecoveryPlan& plan, int row)
{
    bool any = false, all = true, skipped = false;
    const char* last = "pending";
    for (const InjectionProgress& p : plan.injections) {
        if (p.row != row)
            continue;
        skipped = skipped || p.state == InjectionState::Skipped;
        all =
            all && (p.state == InjectionState::RecordWritten || p.state == InjectionState::Skipped);
        if (p.state != InjectionState::NotStarted) {
            any = true;
            last = injectionStateName(p.state);
        }
    }
    if (skipped && all)
        return "skipped";
    if (all)
        return "done";
    if (!any)
        return "pending";
    return last;
}

// The test switch that proves recovery: GC6890_SEQUENCE_CRASH="STEP ROW" has the process
// kill itself with SIGKILL right after STEP (a journal step's name, or "injection sent")
// of row ROW, as a power failure would at that point. Read once; unset, it costs nothing.
void crashPoint(const std::string& step, int row)
{
    static const std::string wanted = [] {
        const char* value = std::getenv("GC6890_SEQUENCE_CRASH");
        return std::string(value ? value : "");
    }();
    if (!wanted.empty() && wanted == step + " " + std::to_string(row))
        std::raise(SIGKILL);
}

}  // namespace

json sequenceJson(const RecoveryPlan& plan)
{
    json rows = json::array();
    for (std::size_t r = 0; r < plan.sequence.rows.size(); ++r) {
        const SequenceRow& row = plan.sequence.rows[r];
        const int number = static_cast<int>(r) + 1;
        json injections = json::array();
        for (const InjectionProgress& p : plan.injections) {
            if (p.row != number)
                continue;
            json one = {{"injection", p.injection}, {"state", injectionStateName(p.state)}};
            if (!p.record.empty())
                one["record"] = p.record;
            injections.push_back(one);
        }
        rows.push_back({{"row", number},
                        {"vial", row.vial},
                        {"method", row.method},
                        {"volume", row.volume},
                        {"sample", row.sample},
                        {"state", rowStateOf(plan, number)},
                        {"injections", injections}});
    }
    json out = {{"id", plan.runId},
                {"name", plan.sequence.name},
                {"file", plan.file},
                {"on_error", errorRuleName(plan.sequence.onError)},
                {"state", runOutcomeName(plan.outcome)},
                {"reason", plan.reason},
                {"rows", rows}};
    out["next"] = plan.next == NextAction::None ? json(nullptr)
                                                : json{{"row", plan.nextRow},
                                                       {"injection", plan.nextInjection},
                                                       {"action", nextActionName(plan.next)}};
    if (!plan.commandExecution.empty())
        out["command_execution"] = plan.commandExecution;
    return out;
}

SequenceRunner::SequenceRunner(SequenceInstrument& instrument, Publish publish,
                               const SequenceClock& clock)
    : instrument_(instrument), publish_(std::move(publish)), clock_(clock)
{}

SequenceRunner::~SequenceRunner() = default;

bool SequenceRunner::start(const std::string& folder, const std::string& file,
                           const std::string& content, const Sequence& sequence,
                           MethodSource methods, std::string& error,
                           const std::string& commandExecution)
{
    writer_ = JournalWriter::create(folder, clock_.unixMs(), error);
    if (!writer_)
        return false;
    JournalEntry first{.kind = StepKind::SequenceStarted};
    first.runId = writer_->runId();
    first.file = file;
    first.content = content;
    first.methods = methods;
    first.commandExecution = commandExecution;
    if (!append(first)) {
        error = "the journal " + writer_->path() + " cannot be written";
        return false;
    }
    plan_ = startPlan(first, sequence);
    ++planChanges_;
    announce(first);
    loaded_.clear();
    return true;
}

bool SequenceRunner::recover(const std::string& path, std::string& error)
{
    JournalContent content;
    if (!readJournal(path, content, error))
        return false;
    writer_ = JournalWriter::reopen(path, error);
    if (!writer_)
        return false;
    plan_ = planRecovery(content.entries);
    ++planChanges_;
    if (!plan_.ok) {
        error = path + ": " + plan_.error;
        return false;
    }
    // The method the GC holds after a restart is unknown: loaded again before the next row.
    // A run followed on after the restart was injected with the method last journalled.
    loaded_.clear();
    for (const JournalEntry& entry : content.entries)
        if (entry.kind == StepKind::MethodLoaded)
            loadedSha256_ = entry.methodSha256;
    step_ = Step::Plan;
    opPolls_ = instrument_.view().polls;  // decide on a poll made after the restart
    stepSinceMs_ = clock_.steadyMs();
    return true;
}

const std::string& SequenceRunner::runId() const
{
    return plan_.runId;
}

bool SequenceRunner::active() const
{
    return plan_.ok &&
           (plan_.outcome == RunOutcome::Running || plan_.outcome == RunOutcome::Paused);
}

bool SequenceRunner::running() const
{
    return plan_.ok && plan_.outcome == RunOutcome::Running;
}

bool SequenceRunner::paused() const
{
    return plan_.outcome == RunOutcome::Paused;
}

json SequenceRunner::json() const
{
    nlohmann::json out = sequenceJson(plan_);
    if (plan_.outcome == RunOutcome::Running && (pauseRequested_ || abortRequested_))
        out["state"] = abortRequested_ ? "aborting" : "pausing";
    // Per step, in the order of Step: an id for programs (stable whatever the wording) and
    // the text for people.
    static constexpr struct {
        const char* id;
        const char* text;
    } kSteps[] = {{"choosing", "choosing"},
                  {"loading_method", "loading the method"},
                  {"waiting_ready", "waiting for the GC"},
                  {"injecting", "injecting"},
                  {"awaiting_answer", "awaiting the sampler's answer"},
                  {"in_run", "following the run"},
                  {"writing_results", "writing the record"},
                  {"asking_instrument", "asking the instrument"}};
    if (plan_.outcome == RunOutcome::Running && row_ > 0) {
        const auto& step = kSteps[static_cast<int>(step_)];
        out["current"] = {
            {"row", row_}, {"injection", injection_}, {"step_id", step.id}, {"step", step.text}};
    } else
        out["current"] = nullptr;
    return out;
}

SequenceRunner::Mark SequenceRunner::mark() const
{
    return {.changes = planChanges_,
            .step = static_cast<int>(step_),
            .row = row_,
            .injection = injection_,
            .pausing = pauseRequested_,
            .aborting = abortRequested_};
}

json SequenceRunner::summary() const
{
    // Without the rows: an event stays small however long the tray (GET has them).
    nlohmann::json out = json();
    out.erase("rows");
    return out;
}

bool SequenceRunner::journal(JournalEntry entry)
{
    if (!append(entry))
        return false;
    advancePlan(plan_, entry);
    announce(entry);
    return true;
}

bool SequenceRunner::append(JournalEntry& entry)
{
    entry.timeMs = clock_.unixMs();
    std::string error;
    ++planChanges_;
    if (!writer_ || !writer_->append(entry, error)) {
        // Nothing that relies on this step may happen: the sequence stops here. The plan
        // does not move on, so the state stays what the journal on disk says.
        notice("journal failed", error);
        plan_.outcome = RunOutcome::Paused;
        plan_.reason = "the journal cannot be written: " + error;
        return false;
    }
    return true;
}

void SequenceRunner::announce(const JournalEntry& entry)
{
    nlohmann::json event = journalJson(entry);
    event.erase("content");
    event["sequence"] = plan_.runId;
    event["state"] = summary();
    publish_(event);
    crashPoint(stepKindName(entry.kind), entry.row);
}

void SequenceRunner::notice(const std::string& what, const std::string& text)
{
    publish_({{"step", what},
              {"sequence", plan_.runId},
              {"row", row_},
              {"injection", injection_},
              {"text", text},
              {"time_ms", clock_.unixMs()},
              {"state", summary()}});
}

const SequenceRow& SequenceRunner::row() const
{
    return plan_.sequence.rows.at(static_cast<std::size_t>(row_ - 1));
}

std::string SequenceRunner::method() const
{
    return row().method;
}

bool SequenceRunner::pollSince() const
{
    return instrument_.view().polls > opPolls_;
}

void SequenceRunner::step()
{
    if (!plan_.ok || plan_.outcome != RunOutcome::Running)
        return;
    const InstrumentView view = instrument_.view();
    if (!view.lineUp)
        return;  // the service keeps rebuilding the line; nothing is decided blind
    switch (step_) {
    case Step::Plan:
        return choose();
    case Step::Load:
        return loadMethod();
    case Step::WaitReady:
        return waitReady(view);
    case Step::Inject:
        return inject();
    case Step::AwaitAnswer:
        return awaitAnswer();
    case Step::FollowRun:
        return followRun(view);
    case Step::WriteRecord:
        return writeRecord();
    case Step::Resolve:
        return resolve(view);
    }
}

void SequenceRunner::choose()
{
    if (plan_.next == NextAction::None) {
        row_ = injection_ = 0;
        journal({.kind = StepKind::Finished});
        return;
    }
    const bool newRow = row_ != plan_.nextRow;
    row_ = plan_.nextRow;
    injection_ = plan_.nextInjection;
    stepSinceMs_ = clock_.steadyMs();
    switch (plan_.next) {
    case NextAction::None:
        return;
    case NextAction::Resolve:
        step_ = Step::Resolve;
        return;
    case NextAction::FollowRun:
        // A restart after the injection: follow whatever run is still going. Its start
        // time is unknown; the history from now on is what is kept.
        injectedMs_ = clock_.unixMs();
        runSeen_ = false;
        recovered_ = true;
        step_ = Step::FollowRun;
        return;
    case NextAction::WriteRecord:
        injectedMs_ = endedMs_ = clock_.unixMs();
        endNote_ = "the service restarted after the run ended: its status history is lost";
        recovered_ = true;
        step_ = Step::WriteRecord;
        return;
    case NextAction::Inject:
        break;
    }
    if (abortRequested_) {
        journal({.kind = StepKind::Aborted, .text = abortReason_});
        return;
    }
    if (pauseRequested_) {
        pauseNow(pauseReason_);
        return;
    }
    if (newRow && injection_ == 1 &&
        !journal({.kind = StepKind::RowStarted, .row = row_, .vial = row().vial}))
        return;
    recovered_ = false;
    step_ = loaded_ == method() ? Step::WaitReady : Step::Load;
    waitTold_ = false;
}

void SequenceRunner::loadMethod()
{
    std::string error;
    // Hashed just before the load reads the same file: what the GC is given.
    const std::string sha256 = instrument_.methodSha256(method());
    if (!instrument_.load(method(), error)) {
        loaded_.clear();
        return rowFailed("row " + std::to_string(row_) + ": the method " + method() +
                         " was not loaded: " + error);
    }
    loaded_ = method();
    loadedSha256_ = sha256;
    if (!journal({.kind = StepKind::MethodLoaded,
                  .row = row_,
                  .method = method(),
                  .methodSha256 = sha256}))
        return;
    opPolls_ = instrument_.view().polls;
    stepSinceMs_ = clock_.steadyMs();
    step_ = Step::WaitReady;
}

void SequenceRunner::waitReady(const InstrumentView& view)
{
    if (abortRequested_ || pauseRequested_) {
        step_ = Step::Plan;  // nothing injected yet: pause or abort at once
        return choose();
    }
    if (!pollSince())
        return;
    if (!view.gcInRun && view.gcReady && !view.samplerBusy) {
        step_ = Step::Inject;
        return inject();
    }
    const std::string why = view.gcInRun       ? "the GC is in a run"
                            : view.samplerBusy ? "the sampler is busy"
                                               : view.notReady;
    if (clock_.steadyMs() - stepSinceMs_ > kReadyLimitMs)
        return rowFailed("row " + std::to_string(row_) + ": the GC was not ready within " +
                         std::to_string(kReadyLimitMs / 60000) + " min: " + why);
    if (!waitTold_) {
        waitTold_ = true;
        notice("waiting", "waiting for the GC to be ready: " + why);
    }
}

void SequenceRunner::inject()
{
    const SequenceRow& r = row();
    if (!journal({.kind = StepKind::AboutToInject,
                  .row = row_,
                  .injection = injection_,
                  .vial = r.vial}))
        return;
    std::string error;
    stopped_ = false;
    const bool started = instrument_.startInjection(method(), r.vial, r.volume, error);
    crashPoint("injection sent", row_);
    injectedMs_ = clock_.unixMs();
    injectSentMs_ = clock_.steadyMs();
    opPolls_ = instrument_.view().polls;
    if (!started)
        return refused(error);
    step_ = Step::AwaitAnswer;
    awaitAnswer();
}

void SequenceRunner::awaitAnswer()
{
    std::string error;
    switch (instrument_.injection(error)) {
    case InjectionAnswer::Awaiting:
        return;
    case InjectionAnswer::Accepted:
        return injected("the sampler accepted the injection");
    case InjectionAnswer::Refused:
        if (stopped_) {
            // A stop ended the wait: whether the syringe went in is not known.
            step_ = Step::Resolve;
            return;
        }
        return refused(error);
    }
}

void SequenceRunner::injected(const std::string& text)
{
    if (!journal({.kind = StepKind::Injected,
                  .row = row_,
                  .injection = injection_,
                  .vial = row().vial,
                  .text = text}))
        return;
    runSeen_ = false;
    opPolls_ = instrument_.view().polls;
    stepSinceMs_ = clock_.steadyMs();
    step_ = Step::FollowRun;
}

void SequenceRunner::refused(const std::string& text)
{
    const std::string reason = "row " + std::to_string(row_) + ", vial " +
                               std::to_string(row().vial) + ": the sampler refused the injection" +
                               (text.empty() ? "" : ": " + text);
    if (!journal({.kind = StepKind::InjectionRefused,
                  .row = row_,
                  .injection = injection_,
                  .vial = row().vial,
                  .text = text}))
        return;
    rowFailed(reason);
}

void SequenceRunner::rowFailed(const std::string& reason)
{
    step_ = Step::Plan;
    switch (plan_.sequence.onError) {
    case ErrorRule::Pause:
        return pauseNow(reason);
    case ErrorRule::SkipRow:
        journal({.kind = StepKind::RowSkipped, .row = row_, .text = reason});
        return;
    case ErrorRule::Abort:
        journal({.kind = StepKind::Aborted, .text = reason});
        return;
    }
}

void SequenceRunner::followRun(const InstrumentView& view)
{
    if (!pollSince())
        return;
    const bool active = view.gcInRun || view.samplerBusy;
    if (active) {
        runSeen_ = true;
        return;
    }
    const bool overdue = clock_.steadyMs() - stepSinceMs_ > kRunStartLimitMs;
    // The step began with the sampler's answer; one that came only when the sampler's own
    // wait ran out (a time-out counts as accepted) says nothing of the injection.
    const bool answerEndedTheWait = stepSinceMs_ - injectSentMs_ >= kSamplerAnswerWaitMs;
    // The sampler's answer says it has taken the injection, which starts the run (it is
    // busy from the answer on while it prepares): an idle instrument at the first poll
    // after it had a run shorter than the poll period, over already, as a run job counts
    // it. An answer that only ended the sampler's wait says nothing: a run must be seen.
    // After a restart or a stop no run may come either: an idle instrument ends the wait.
    if (!runSeen_ && answerEndedTheWait && !recovered_ && !stopped_ && !abortRequested_ && !overdue)
        return;
    endedMs_ = clock_.unixMs();
    std::string text;
    if (!runSeen_)
        text = recovered_ ? "the run was over before the restart was done"
               : overdue  ? "no run started within 330 s of the injection"
               : stopped_ || abortRequested_
                   ? "stopped before the run started"
                   : "no poll saw the run: it was over within a poll period";
    else if (stopped_ || abortRequested_)
        text = "the run was stopped";
    if (!journal({.kind = StepKind::RunEnded,
                  .row = row_,
                  .injection = injection_,
                  .vial = row().vial,
                  .text = text}))
        return;
    endNote_ = text;
    step_ = Step::WriteRecord;
    writeRecord();
}

void SequenceRunner::writeRecord()
{
    const SequenceRow& r = row();
    RunResult result;
    result.sequence = plan_.sequence.name;
    result.runId = plan_.runId;
    result.row = row_;
    result.injection = injection_;
    result.vial = r.vial;
    result.sample = r.sample;
    result.method = r.method;
    result.methodSha256 = loadedSha256_;
    result.volume = r.volume;
    result.startMs = injectedMs_;
    result.endMs = endedMs_;
    result.note = endNote_;
    if (!instrument_.record(method(), r.volume, result.record))
        result.record = "the experiment record of " + method() + " could not be written\n";
    result.history = instrument_.history(injectedMs_, endedMs_);
    std::string path, error;
    if (!writeRunResult(resultsFolder(), result, path, error))
        return pauseNow("row " + std::to_string(row_) + ": the results were not written: " + error);
    if (!journal({.kind = StepKind::RecordWritten,
                  .row = row_,
                  .injection = injection_,
                  .vial = r.vial,
                  .path = path}))
        return;
    step_ = Step::Plan;
    if (abortRequested_) {
        journal({.kind = StepKind::Aborted, .text = abortReason_});
        return;
    }
    if (stopped_ || pauseRequested_) {
        pauseNow(stopped_ ? kStoppedByRequest : pauseReason_);
        return;
    }
}

void SequenceRunner::resolve(const InstrumentView& view)
{
    // Asked only on a poll made after the restart (or the stop).
    if (!pollSince())
        return;
    if (view.gcInRun || view.samplerBusy) {
        recovered_ = true;
        injectedMs_ = clock_.unixMs();
        return injected(std::string("found ") +
                        (view.gcInRun ? "the GC in a run" : "the sampler busy") +
                        " after the answer was lost: following it");
    }
    step_ = Step::Plan;
    pauseNow(uncertainInjectionMessage(plan_));
}

void SequenceRunner::pauseNow(const std::string& reason)
{
    pauseRequested_ = false;
    stopped_ = false;
    step_ = Step::Plan;
    journal({.kind = StepKind::Paused, .row = row_, .text = reason});
}

void SequenceRunner::pause(const std::string& reason)
{
    if (plan_.outcome != RunOutcome::Running)
        return;
    pauseRequested_ = true;
    pauseReason_ = reason;
    if (step_ == Step::Plan || step_ == Step::Load || step_ == Step::WaitReady) {
        step_ = Step::Plan;
        pauseNow(reason);
    } else {
        notice("pausing", "pausing after the current run: " + reason);
    }
}

bool SequenceRunner::resume(bool skipRow, std::string& error)
{
    if (plan_.outcome != RunOutcome::Paused) {
        error = std::string("the sequence is ") + runOutcomeName(plan_.outcome) + ", not paused";
        return false;
    }
    if (skipRow && plan_.nextRow > 0 &&
        !journal({.kind = StepKind::RowSkipped,
                  .row = plan_.nextRow,
                  .text = "skipped by the operator on resuming"}))
        return false;
    if (!journal({.kind = StepKind::Resumed}))
        return false;
    step_ = Step::Plan;
    opPolls_ = instrument_.view().polls;
    return true;
}

void SequenceRunner::abort(const std::string& reason)
{
    if (!active())
        return;
    if (plan_.outcome == RunOutcome::Paused || step_ == Step::Plan || step_ == Step::Load ||
        step_ == Step::WaitReady || step_ == Step::Resolve) {
        step_ = Step::Plan;
        journal({.kind = StepKind::Aborted, .text = reason});
        return;
    }
    abortRequested_ = true;
    abortReason_ = reason;
    if (step_ == Step::AwaitAnswer || step_ == Step::FollowRun)
        instrument_.stop();
    opPolls_ = instrument_.view().polls;
}

void SequenceRunner::stopped()
{
    if (plan_.outcome != RunOutcome::Running)
        return;
    stopped_ = true;
    opPolls_ = instrument_.view().polls;
    if (step_ == Step::Plan || step_ == Step::Load || step_ == Step::WaitReady)
        pauseNow(kStoppedByRequest);
    else if (step_ == Step::AwaitAnswer)
        step_ = Step::Resolve;
}

}  // namespace gc6890
