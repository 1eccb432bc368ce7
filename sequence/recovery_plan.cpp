#include "sequence/recovery_plan.h"

#include <algorithm>
#include <set>

#include "platform/enum_names.h"

namespace gc6890 {

namespace {

constexpr EnumNames kInjectionStateNames({"not started", "uncertain", "refused", "injected",
                                          "run ended", "record written", "skipped"},
                                         InjectionState::Skipped);

constexpr EnumNames kNextActionNames({"none", "inject", "resolve", "follow run", "write record"},
                                     NextAction::WriteRecord);

constexpr EnumNames kRunOutcomeNames({"running", "paused", "finished", "aborted"},
                                     RunOutcome::Aborted);

}  // namespace

const char* injectionStateName(InjectionState state)
{
    return kInjectionStateNames(state);
}

const char* nextActionName(NextAction action)
{
    return kNextActionNames(action);
}

const char* runOutcomeName(RunOutcome outcome)
{
    return kRunOutcomeNames(outcome);
}

namespace {

bool madeInjection(InjectionState state)
{
    return state == InjectionState::Injected || state == InjectionState::RunEnded ||
           state == InjectionState::RecordWritten;
}

// Moves an injection on, never back: once injected, no later entry can make it injectable.
void advance(InjectionProgress& progress, InjectionState to)
{
    const InjectionState from = progress.state;
    switch (to) {
    case InjectionState::Uncertain:
    case InjectionState::Refused:
        if (!madeInjection(from))
            progress.state = to;
        break;
    case InjectionState::Injected:
    case InjectionState::RunEnded:
    case InjectionState::RecordWritten:
        if (!madeInjection(from) || static_cast<int>(to) > static_cast<int>(from))
            progress.state = to;
        break;
    default:
        break;
    }
}

InjectionState stateAfter(StepKind kind)
{
    switch (kind) {
    case StepKind::AboutToInject:
        return InjectionState::Uncertain;
    case StepKind::InjectionRefused:
        return InjectionState::Refused;
    case StepKind::Injected:
        return InjectionState::Injected;
    default:
        return InjectionState::RunEnded;
    }
}

NextAction actionFor(InjectionState state)
{
    switch (state) {
    case InjectionState::NotStarted:
    case InjectionState::Refused:
        return NextAction::Inject;
    case InjectionState::Uncertain:
        return NextAction::Resolve;
    case InjectionState::Injected:
        return NextAction::FollowRun;
    case InjectionState::RunEnded:
        return NextAction::WriteRecord;
    default:
        return NextAction::None;
    }
}

// The injection an entry is about; none when the sequence has no such injection.
InjectionProgress* injectionOf(RecoveryPlan& plan, int row, int injection)
{
    // The injections are in running order: row by row, each row's from 1.
    const auto found =
        std::lower_bound(plan.injections.begin(), plan.injections.end(), std::pair(row, injection),
                         [](const InjectionProgress& p, const std::pair<int, int>& key) {
                             return std::pair(p.row, p.injection) < key;
                         });
    if (found == plan.injections.end() || found->row != row || found->injection != injection)
        return nullptr;  // an entry for no injection of this sequence changes nothing
    return &*found;
}

// The entry's effect on the injections and the outcome; where the run goes on is left to
// settleNext.
void applyEntry(RecoveryPlan& plan, const JournalEntry& entry)
{
    InjectionProgress* progress = injectionOf(plan, entry.row, entry.injection);
    switch (entry.kind) {
    case StepKind::AboutToInject:
    case StepKind::InjectionRefused:
    case StepKind::Injected:
    case StepKind::RunEnded:
        if (progress)
            advance(*progress, stateAfter(entry.kind));
        break;
    case StepKind::RecordWritten:
        if (progress) {
            advance(*progress, InjectionState::RecordWritten);
            progress->record = entry.path;
        }
        break;
    case StepKind::RowSkipped:
        plan.skippedRows.insert(entry.row);
        for (InjectionProgress& each : plan.injections) {
            if (each.row == entry.row && !madeInjection(each.state))
                each.state = InjectionState::Skipped;
        }
        break;
    case StepKind::Paused:
        plan.outcome = RunOutcome::Paused;
        plan.reason = entry.text;
        break;
    case StepKind::Resumed:
        // The operator resumed after checking: an injection left uncertain was not made.
        plan.outcome = RunOutcome::Running;
        plan.reason.clear();
        for (InjectionProgress& each : plan.injections) {
            if (each.state == InjectionState::Uncertain)
                each.state = InjectionState::NotStarted;
        }
        break;
    case StepKind::Aborted:
        plan.outcome = RunOutcome::Aborted;
        plan.reason = entry.text;
        break;
    case StepKind::Finished:
        plan.outcome = RunOutcome::Finished;
        break;
    default:
        break;
    }
}

// Where the run goes on: the first injection neither recorded nor in a skipped row.
void settleNext(RecoveryPlan& plan)
{
    plan.next = NextAction::None;
    plan.nextRow = plan.nextInjection = 0;
    if (plan.outcome == RunOutcome::Finished || plan.outcome == RunOutcome::Aborted)
        return;
    for (const InjectionProgress& progress : plan.injections) {
        const NextAction action = actionFor(progress.state);
        if (action != NextAction::None && !plan.skippedRows.count(progress.row)) {
            plan.next = action;
            plan.nextRow = progress.row;
            plan.nextInjection = progress.injection;
            return;
        }
    }
}

}  // namespace

RecoveryPlan startPlan(const JournalEntry& started, Sequence sequence)
{
    RecoveryPlan plan;
    plan.ok = true;
    plan.runId = started.runId;
    plan.file = started.file;
    plan.content = started.content;
    plan.methods = started.methods;
    plan.commandExecution = started.commandExecution;
    plan.sequence = std::move(sequence);
    for (std::size_t r = 0; r < plan.sequence.rows.size(); ++r) {
        const SequenceRow& row = plan.sequence.rows[r];
        for (int i = 1; i <= row.injections; ++i)
            plan.injections.push_back(
                {static_cast<int>(r) + 1, i, row.vial, row.sample, InjectionState::NotStarted, ""});
    }
    settleNext(plan);
    return plan;
}

void advancePlan(RecoveryPlan& plan, const JournalEntry& entry)
{
    applyEntry(plan, entry);
    settleNext(plan);
}

RecoveryPlan planRecovery(const std::vector<JournalEntry>& entries)
{
    const auto start = std::find_if(entries.begin(), entries.end(), [](const JournalEntry& e) {
        return e.kind == StepKind::SequenceStarted;
    });
    if (start == entries.end()) {
        RecoveryPlan plan;
        plan.error = "the journal has no \"sequence started\" entry";
        return plan;
    }
    Sequence sequence;
    SequenceFileError error;
    if (!parseSequence(start->content, start->file, sequence, error)) {
        RecoveryPlan plan;
        plan.runId = start->runId;
        plan.file = start->file;
        plan.content = start->content;
        plan.methods = start->methods;
        plan.error = error.text();
        return plan;
    }
    RecoveryPlan plan = startPlan(*start, std::move(sequence));
    for (auto entry = start + 1; entry != entries.end(); ++entry)
        applyEntry(plan, *entry);
    settleNext(plan);
    return plan;
}

std::string uncertainInjectionMessage(const RecoveryPlan& plan)
{
    const InjectionProgress* uncertain = nullptr;
    for (const InjectionProgress& progress : plan.injections) {
        if (progress.state == InjectionState::Uncertain)
            uncertain = &progress;
    }
    if (!uncertain)
        return {};
    const std::string vial = std::to_string(uncertain->vial);
    return "row " + std::to_string(uncertain->row) + ", injection " +
           std::to_string(uncertain->injection) + " (vial " + vial + ", " + uncertain->sample +
           "): stopped between \"about to inject\" and the sampler's answer, and the GC is not "
           "in a run. Check whether vial " +
           vial +
           " was injected (the vial's septum, the sampler's turret and tray, the GC's run "
           "log). Resume injects it; abort ends the sequence.";
}

std::optional<JournalledRun> newestRun(const std::string& folder, MethodSource source,
                                       const std::function<bool(const RecoveryPlan&)>& accept,
                                       const std::function<void(const std::string&)>& unreadable)
{
    const std::vector<std::string> ids = journalRunIds(folder);
    for (auto id = ids.rbegin(); id != ids.rend(); ++id) {
        JournalContent content;
        std::string error;
        const std::string path = journalPath(folder, *id);
        if (!readJournal(path, content, error)) {
            if (unreadable)
                unreadable(error);
            continue;
        }
        RecoveryPlan plan = planRecovery(content.entries);
        if (plan.ok && plan.methods == source && accept(plan))
            return JournalledRun{path, std::move(plan)};
    }
    return std::nullopt;
}

}  // namespace gc6890
