#include "service/sila/sequence_executions.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "SequenceRunner.pb.h"
#include "sequence/journal.h"
#include "sequence/recovery_plan.h"
#include "service/instrument_thread.h"
#include "service/sequence_control.h"
#include "service/sila/sila_error.h"
#include "service/sila/sila_names.h"
#include "service/sila/sila_text.h"

namespace gc6890::sila {

namespace sr = sila2::io::gcsixeightninety::chromatography::sequencerunner::v1;

namespace {

// How often the board is looked at: a journal step reaches the client within this.
constexpr std::chrono::milliseconds kLookEvery(100);
// The journalled reason of an abort that a cancel asked for: the execution then ends with
// Cancelled rather than "aborted", after a restart too, since the journal says so.
const std::string kCancelReason = "cancelled (CancelController)";

// The step for programs: its own names, so that the journal's wording may change.
const char* stepId(StepKind kind)
{
    switch (kind) {
    case StepKind::SequenceStarted:
        return "sequence_started";
    case StepKind::RowStarted:
        return "row_started";
    case StepKind::MethodLoaded:
        return "method_loaded";
    case StepKind::AboutToInject:
        return "about_to_inject";
    case StepKind::Injected:
        return "injected";
    case StepKind::InjectionRefused:
        return "injection_refused";
    case StepKind::RunEnded:
        return "run_ended";
    case StepKind::RecordWritten:
        return "record_written";
    case StepKind::Paused:
        return "paused";
    case StepKind::Resumed:
        return "resumed";
    case StepKind::RowSkipped:
        return "row_skipped";
    case StepKind::Aborted:
        return "aborted";
    case StepKind::Finished:
        return "finished";
    }
    return "unknown";
}

std::string stepResponse(const JournalEntry& entry)
{
    sr::RunSequence_IntermediateResponses step;
    step.mutable_row()->set_value(entry.row);
    step.mutable_injection()->set_value(entry.injection);
    step.mutable_vial()->set_value(entry.vial);
    const std::string words = stepKindName(entry.kind);
    setText(step.mutable_step(), entry.text.empty() ? words : words + ": " + entry.text);
    step.mutable_stepid()->set_value(stepId(entry.kind));
    setText(step.mutable_resultsfolder(), entry.path);
    return step.SerializeAsString();
}

std::vector<std::string> foldersOf(const RecoveryPlan& plan)
{
    std::vector<std::string> folders;
    for (const InjectionProgress& injection : plan.injections)
        if (!injection.record.empty())
            folders.push_back(injection.record);
    return folders;
}

std::string resultOf(const RecoveryPlan& plan)
{
    sr::RunSequence_Responses responses;
    setText(responses.mutable_sequenceid(), plan.runId);
    responses.mutable_finalstate()->set_value(runOutcomeName(plan.outcome));
    for (const std::string& folder : foldersOf(plan))
        setText(responses.add_resultsfolders(), folder);
    return responses.SerializeAsString();
}

grpc::Status cancelledError(const RecoveryPlan& plan)
{
    const std::vector<std::string> folders = foldersOf(plan);
    std::string message = "the sequence " + plan.runId + " was cancelled; " +
                          std::to_string(folders.size()) + " of " +
                          std::to_string(plan.injections.size()) + " injections recorded";
    for (std::size_t i = 0; i < folders.size(); ++i)
        message += (i ? ", " : ": ") + folders[i];
    return definedError(kSequenceRunnerFeature, "Cancelled", message);
}

}  // namespace

SequenceExecutions::SequenceExecutions(ServiceState& state, InstrumentThread& instrument,
                                       CommandExecutions& executions)
    : state_(state), instrument_(instrument), executions_(executions)
{}

SequenceExecutions::~SequenceExecutions()
{
    stop();
}

void SequenceExecutions::start()
{
    // After a restart the newest sequence's execution answers from the first call on: it is
    // made again from the journal before the server listens (the instrument thread goes on
    // with the sequence itself a little later).
    const std::optional<JournalledRun> newest =
        newestRun(journalFolder(), MethodSource::Stored, [](const RecoveryPlan&) { return true; });
    if (newest && !newest->plan.commandExecution.empty()) {
        std::lock_guard lock(mutex_);
        const std::string& uuid = newest->plan.commandExecution;
        if (executions_.adopt(uuid))
            catchUp(uuid, followFrom(uuid, newest->plan.runId));
    }
    thread_ = std::thread([this] { follow(); });
}

void SequenceExecutions::stop()
{
    stopping_ = true;
    if (thread_.joinable())
        thread_.join();
}

void SequenceExecutions::started(const std::string& uuid, const std::string& id)
{
    std::lock_guard lock(mutex_);
    followFrom(uuid, id);
    boardSeen_.clear();  // caught up on the next look
}

std::optional<std::string> SequenceExecutions::sequenceOf(const std::string& uuid)
{
    std::lock_guard lock(mutex_);
    const auto found = followed_.find(uuid);
    return found == followed_.end() ? std::nullopt : std::optional(found->second.id);
}

SequenceExecutions::Followed& SequenceExecutions::followFrom(const std::string& uuid,
                                                             const std::string& id)
{
    const auto [at, added] = followed_.try_emplace(uuid, Followed{id});
    if (added)
        executions_.setCancellation(uuid, {[this, uuid] { return cancel(uuid); }, {}});
    return at->second;
}

grpc::Status SequenceExecutions::cancel(const std::string& uuid)
{
    std::string error;
    switch (control(uuid, Control::Abort, error, kCancelReason)) {
    case Outcome::Busy:
        return undefinedError("the instrument did not take the cancel within " +
                              std::to_string(kTaskWaitMs / 1000) + " s; cancel again");
    case Outcome::Refused:  // over already: its execution ends as the sequence did
    case Outcome::Done:
    case Outcome::UnknownExecution:
    case Outcome::NotASequence:
        break;
    }
    return grpc::Status::OK;
}

void SequenceExecutions::follow()
{
    while (!stopping_) {
        try {
            look();
        } catch (...) {
            // A journal or board that cannot be read now is read again on the next look.
        }
        std::this_thread::sleep_for(kLookEvery);
    }
}

void SequenceExecutions::look()
{
    const auto [id, text] = state_.sequences.latest();
    std::lock_guard lock(mutex_);
    if (text == boardSeen_)
        return;
    boardSeen_ = text;
    if (!id.empty()) {
        // A sequence a SiLA client started, perhaps before a restart: its execution is
        // made again under the journalled UUID when this run of the service lacks it.
        const std::string uuid =
            nlohmann::json::parse(text).value("command_execution", std::string());
        if (!uuid.empty() && !followed_.count(uuid) &&
            (executions_.state(uuid) || executions_.adopt(uuid)))
            followFrom(uuid, id);
    }
    for (auto it = followed_.begin(); it != followed_.end();) {
        if (!it->second.over)
            catchUp(it->first, it->second);
        // One that ended and was forgotten since is dropped with its execution.
        if (it->second.over && !executions_.state(it->first))
            it = followed_.erase(it);
        else
            ++it;
    }
}

void SequenceExecutions::catchUp(const std::string& uuid, Followed& followed)
{
    JournalContent content;
    std::string error;
    if (!readJournal(journalPath(journalFolder(), followed.id), content, error))
        return;
    const RecoveryPlan plan = planRecovery(content.entries);
    if (!plan.ok)
        return;
    const auto done = std::count_if(
        plan.injections.begin(), plan.injections.end(), [](const InjectionProgress& p) {
            return p.state == InjectionState::RecordWritten || p.state == InjectionState::Skipped;
        });
    executions_.running(
        uuid, plan.injections.empty() ? 0.0 : static_cast<double>(done) / plan.injections.size());
    for (; followed.stepsSent < content.entries.size(); ++followed.stepsSent)
        executions_.intermediate(uuid, stepResponse(content.entries[followed.stepsSent]));
    if (plan.outcome == RunOutcome::Aborted && plan.reason == kCancelReason) {
        executions_.fail(uuid, cancelledError(plan));
        followed.over = true;
    } else if (plan.outcome == RunOutcome::Finished || plan.outcome == RunOutcome::Aborted) {
        executions_.succeed(uuid, resultOf(plan));
        followed.over = true;
    }
}

SequenceExecutions::Outcome SequenceExecutions::control(const std::string& uuid, Control control,
                                                        std::string& error,
                                                        const std::string& reason)
{
    std::string id;
    {
        std::lock_guard lock(mutex_);
        const auto found = followed_.find(uuid);
        if (found == followed_.end())
            return executions_.state(uuid) ? Outcome::NotASequence : Outcome::UnknownExecution;
        id = found->second.id;
    }
    bool done = false;
    const bool ran = instrument_.runTask([&] {
        SequenceControl& sequences = instrument_.sequences();
        switch (control) {
        case Control::Pause:
            done = sequences.pause(id, error);
            break;
        case Control::Resume:
        case Control::SkipRow:
            done = sequences.resume(id, control == Control::SkipRow, error);
            break;
        case Control::Abort:
            done = reason.empty() ? sequences.abort(id, error) : sequences.abort(id, error, reason);
            break;
        }
    });
    if (!ran)
        return Outcome::Busy;
    return done ? Outcome::Done : Outcome::Refused;
}

}  // namespace gc6890::sila
