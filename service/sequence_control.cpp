#include "service/sequence_control.h"
#include "service/safe_text.h"

#include <iostream>

namespace gc6890 {

SequenceControl::SequenceControl(ServiceState& state, InstrumentThread& thread)
    : state_(state), instrument_(thread, state)
{}

SequenceControl::~SequenceControl() = default;

void SequenceControl::publish()
{
    // Called after every step of every tick: the sequence's JSON is made only when the
    // runner's state moved.
    if (!runner_ || runner_->mark() == published_)
        return;
    state_.sequences.set(runner_->runId(), jsonText(runner_->json()), runner_->active());
    published_ = runner_->mark();
}

void SequenceControl::recoverAtStart()
{
    const std::optional<JournalledRun> run = newestRun(
        journalFolder(), MethodSource::Stored, [](const RecoveryPlan&) { return true; },
        [](const std::string& error) { std::cerr << "gc6890 serve: " << error << '\n'; });
    if (!run)
        return;
    const RecoveryPlan& plan = run->plan;
    if (plan.outcome == RunOutcome::Finished || plan.outcome == RunOutcome::Aborted) {
        // The newest sequence is over: shown, nothing to go on with.
        state_.sequences.set(plan.runId, jsonText(sequenceJson(plan)), false);
        return;
    }
    published_.reset();
    runner_ = std::make_unique<SequenceRunner>(instrument_, [this](const nlohmann::json& e) {
        state_.events.publish("sequence", jsonText(e));
    });
    std::string error;
    if (!runner_->recover(run->path, error)) {
        std::cerr << "gc6890 serve: cannot go on with the sequence " << plan.runId << ": " << error
                  << '\n';
        runner_.reset();
        return;
    }
    std::cerr << "gc6890 serve: going on with the sequence " << plan.runId << " ("
              << runOutcomeName(plan.outcome) << ")\n";
    publish();
}

bool SequenceControl::start(const std::string& file, const std::string& content,
                            const Sequence& sequence, bool inRun, std::string& id,
                            std::string& conflict, std::string& error,
                            const std::string& commandExecution)
{
    if (runner_ && runner_->active()) {
        conflict = "the sequence " + runner_->runId() + " is " +
                   (runner_->paused() ? "paused" : "running");
        return false;
    }
    if (const std::optional<Job> job = state_.jobs.current()) {
        conflict = "job " + std::to_string(job->id) + " (" + jobKindName(job->request.kind) +
                   ") is " + jobStateName(job->state);
        return false;
    }
    if (inRun) {
        conflict = "the GC is in a run";
        return false;
    }
    auto runner = std::make_unique<SequenceRunner>(instrument_, [this](const nlohmann::json& e) {
        state_.events.publish("sequence", jsonText(e));
    });
    if (!runner->start(journalFolder(), file, content, sequence, MethodSource::Stored, error,
                       commandExecution))
        return false;
    runner_ = std::move(runner);
    published_.reset();
    id = runner_->runId();
    publish();
    return true;
}

bool SequenceControl::current(const std::string& id, std::string& error) const
{
    if (!runner_ || runner_->runId() != id || !runner_->active()) {
        error = "the sequence " + id + " is not under way";
        return false;
    }
    return true;
}

bool SequenceControl::pause(const std::string& id, std::string& error)
{
    if (!current(id, error))
        return false;
    if (runner_->paused()) {
        error = "the sequence " + id + " is paused already";
        return false;
    }
    runner_->pause(kPausedByOperator);
    publish();
    return true;
}

bool SequenceControl::resume(const std::string& id, bool skipRow, std::string& error)
{
    if (!current(id, error) || !runner_->resume(skipRow, error))
        return false;
    publish();
    return true;
}

bool SequenceControl::abort(const std::string& id, std::string& error, const std::string& reason)
{
    if (!current(id, error))
        return false;
    runner_->abort(reason);
    publish();
    return true;
}

void SequenceControl::step()
{
    if (!runner_ || !runner_->active())
        return;
    runner_->step();
    publish();
}

void SequenceControl::stopped()
{
    if (!runner_)
        return;
    runner_->stopped();
    publish();
}

}  // namespace gc6890
