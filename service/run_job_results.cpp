#include "service/run_job_results.h"

#include "audit/sha256.h"
#include "external/inlet_utils.h"
#include "sequence/results_writer.h"
#include "sequence/sequence_instrument.h"
#include "service/instrument_thread.h"
#include "service/method_store.h"
#include "service/status_history.h"

namespace gc6890 {

void RunJobResults::jobEnded(const Job& job)
{
    if (job.request.kind != JobKind::Run || job.state != JobState::Done)
        return;
    // Only one run at a time: one still followed (its end unseen while the line was
    // down) is written as it stands before the next is followed.
    if (run_) {
        run_->note = "a new injection was taken before the end of this run was seen";
        finish(*run_);
    }
    // The sampler took the injection: the run has started, whether or not a poll sees it
    // before it ends (a short run may be over by the next poll).
    // The stored method is hashed now, on the thread that has just injected with it: the
    // content the run was made with (unless an upload replaced it in that instant).
    run_ =
        Followed{.job = job,
                 .startMs = unixNowMs(),
                 .methodSha256 = fileSha256(MethodStore(methodFolder()).path(job.request.method)),
                 .pollsAtStart = state_.metrics.polls};
}

void RunJobResults::step(const InstrumentView& view)
{
    if (!run_ || !view.lineUp || view.polls <= run_->pollsAtStart)
        return;
    // The view's run leaves pre-run out: a GC that prepares itself for runs goes there after
    // each one.
    if (view.gcInRun || view.samplerBusy)
        return;
    const Followed ended = *run_;
    run_.reset();
    finish(ended);
}

void RunJobResults::stopped()
{
    if (run_)
        run_->note = "the run was stopped";
}

void RunJobResults::finish(const Followed& run)
{
    const JobRequest& request = run.job.request;
    RunResult result = singleInjectionResult("job" + std::to_string(run.job.id), request.method,
                                             request.vial, request.volume, run.startMs);
    result.methodSha256 = run.methodSha256;
    result.endMs = unixNowMs();
    result.note = run.note;
    if (!thread_.writeRecord(MethodStore(methodFolder()).path(request.method), request.volume,
                             result.record))
        result.record = "the experiment record of " + request.method + " could not be written\n";
    result.history = historyJson(state_.history.since(result.startMs, result.endMs));
    std::string folder, error;
    if (!writeRunResult(resultsFolder(), result, folder, error))
        state_.events.log(1, "service",
                          "job " + std::to_string(run.job.id) +
                              ": the results were not written: " + error);
    if (const std::optional<Job> job = state_.jobs.setResults(run.job.id, folder, error))
        state_.events.publish("job", job->json());
}

}  // namespace gc6890
