#include "service/sila/injection.h"

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "GasChromatographController.pb.h"
#include "service/job_requests.h"
#include "service/sila/instrument_status.h"
#include "service/sila/job_outcome.h"
#include "service/sila/sila_error.h"
#include "service/sila/sila_names.h"
#include "service/sila/sila_text.h"

namespace gc6890::sila {

namespace gcc = sila2::io::gcsixeightninety::chromatography::gaschromatographcontroller::v1;

namespace {

constexpr std::chrono::milliseconds kLookEvery(100);

[[noreturn]] void fail(grpc::Status status)
{
    throw SilaFailure{std::move(status)};
}

void checkStopping(const InjectionParts& parts)
{
    if (parts.stopping)
        fail(undefinedError("the service stopped before the injection ended"));
}

// A cancelled injection ends with Cancelled, saying how far it got.
void checkCancelled(const Injection& injection, const std::string& state)
{
    if (injection.cancel->cancelled())
        fail(gcControllerError("Cancelled", "the injection was cancelled " + state));
}

// Follows the job to its end; its final record. Progress moves from `from` to `to` with
// the method lines sent.
Job followJob(const InjectionParts& parts, const std::string& uuid, std::uint64_t id, double from,
              double to)
{
    for (;;) {
        checkStopping(parts);
        const std::optional<Job> job = parts.state.jobs.find(id);
        if (!job)
            fail(undefinedError("the service no longer knows job " + std::to_string(id)));
        if (job->finished())
            return *job;
        if (job->state == JobState::Running)
            parts.executions.running(
                uuid, from + (to - from) * (job->total > 0 ? double(job->sent) / job->total : 0));
        std::this_thread::sleep_for(kLookEvery);
    }
}

void lineMustBeUp(const Snapshot& snapshot, const std::string& while_)
{
    if (snapshot.line != LineState::Up)
        fail(gcControllerError(
            "LineLost", std::string("the line to the instrument is ") +
                            lineStateName(snapshot.line) + " " + while_ +
                            (snapshot.lineReason.empty() ? "" : ": " + snapshot.lineReason)));
}

// Waits for the GC to be ready for `run`. The injection holds the instrument only through
// its jobs, so another door may take it meanwhile (a sequence started, a job sent): that is
// found at once and ends the injection, rather than after the GC is ready.
void waitUntilReady(const InjectionParts& parts, const Injection& injection, const JobRequest& run)
{
    const auto bound = notReadyBound();
    const auto until = std::chrono::steady_clock::now() + bound;
    for (;;) {
        checkStopping(parts);
        checkCancelled(injection, "while the GC was not ready; nothing was injected");
        const auto snapshot = parts.state.snapshot.get();
        lineMustBeUp(*snapshot, "while waiting for the GC to be ready");
        const InstrumentStatus status = instrumentStatusOf(*snapshot);
        if (const JobBoard::Submitted taken = jobConflict(parts.state, run);
            !taken.conflict.empty())
            fail(instrumentBusy(run, taken.conflict));
        if (status.ready)
            return;
        if (std::chrono::steady_clock::now() >= until)
            fail(gcControllerError("NotReadyTimeout", "the GC stayed not ready for " +
                                                          std::to_string(bound.count() / 1000) +
                                                          " s (" + status.notReadyReason +
                                                          "); nothing was injected"));
        std::this_thread::sleep_for(kLookEvery);
    }
}

void setTimestamp(fw::Timestamp* stamp, std::int64_t unixMs)
{
    const std::time_t seconds = static_cast<std::time_t>(unixMs / 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    stamp->set_second(static_cast<unsigned>(utc.tm_sec));
    stamp->set_minute(static_cast<unsigned>(utc.tm_min));
    stamp->set_hour(static_cast<unsigned>(utc.tm_hour));
    stamp->set_day(static_cast<unsigned>(utc.tm_mday));
    stamp->set_month(static_cast<unsigned>(utc.tm_mon + 1));
    stamp->set_year(static_cast<unsigned>(utc.tm_year + 1900));
    stamp->mutable_timezone()->set_hours(0);
    stamp->mutable_timezone()->set_minutes(0);
}

// Follows the run from the injection to its end: an intermediate response at each change
// of the run state, progress with the run's elapsed time. The end is the run job's: the
// instrument thread follows the run on its own polls and names the results folder in the
// job's record, so a run over before a look here saw it start is followed all the same.
Job followRun(const InjectionParts& parts, const std::string& uuid, std::uint64_t runJob,
              double runLengthMin)
{
    std::string last;
    for (;;) {
        checkStopping(parts);
        const auto snapshot = parts.state.snapshot.get();
        const InstrumentStatus status = instrumentStatusOf(*snapshot);
        if (status.runState != last) {
            gcc::Inject_IntermediateResponses change;
            setText(change.mutable_runstate(), status.runState);
            parts.executions.intermediate(uuid, change.SerializeAsString());
            last = status.runState;
        }
        const std::optional<Job> job = parts.state.jobs.find(runJob);
        if (!job)
            fail(undefinedError("the service no longer knows job " + std::to_string(runJob)));
        if (job->resultsSettled())
            return *job;
        lineMustBeUp(*snapshot, "during the run");
        if (runLengthMin > 0)
            parts.executions.running(
                uuid, 0.5 + 0.5 * std::min(1.0, status.elapsedMinutes / runLengthMin));
        std::this_thread::sleep_for(kLookEvery);
    }
}

std::string fileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in)
        fail(undefinedError("the run ended, but " + path + " cannot be read"));
    return text.str();
}

void inject(const InjectionParts& parts, const Injection& injection)
{
    if (injection.loadJob != 0) {
        // A load is not cancelled midway: a half-sent method is worse than a whole one.
        const Job load = followJob(parts, injection.uuid, injection.loadJob, 0.0, 0.4);
        if (load.state == JobState::Failed)
            fail(jobFailure(load, *parts.state.snapshot.get()));
        checkCancelled(injection, "during the load; the method was loaded, nothing was injected");
    }
    JobRequest request;
    request.kind = JobKind::Run;
    request.method = injection.method;
    request.vial = injection.vial;
    request.volume = injection.volume;
    request.lockIdentifier = injection.lockIdentifier;
    request.origin = injection.origin;
    request.auditParams = jobAuditParams(request, parts.methods);
    waitUntilReady(parts, injection, request);
    const std::optional<JobBoard::Submitted> submitted =
        injection.cancel->submitRun(parts.state, request);
    checkCancelled(injection, "before the injection; nothing was injected");
    if (submitted->id == 0)
        fail(instrumentBusy(request, submitted->conflict));
    const Job run = followJob(parts, injection.uuid, submitted->id, 0.4, 0.5);
    if (run.state == JobState::Failed) {
        checkCancelled(injection, "and its run stopped before the sampler answered (" +
                                      run.message + "); no run was recorded");
        const auto snapshot = parts.state.snapshot.get();
        if (snapshot->line == LineState::Up &&
            (run.message.find("sampler did not start") != std::string::npos ||
             run.message.find("sampler refused") != std::string::npos))
            fail(gcControllerError("VialRefused", run.message));
        fail(jobFailure(run, *snapshot));
    }
    const std::optional<std::string> text = parts.methods.read(injection.method);
    const Job ended =
        followRun(parts, injection.uuid, submitted->id,
                  text ? checkMethodText(*text, injection.method + ".toml").runLengthMin : 0);
    // The cancel's stop ended the run: it was recorded as any ended run is.
    checkCancelled(injection, "and its run stopped; " +
                                  (ended.resultsFolder.empty()
                                       ? "its results could not be written: " + ended.resultsError
                                       : "it is recorded in " + ended.resultsFolder));
    if (ended.resultsFolder.empty())
        fail(undefinedError("the run ended, but its results could not be written: " +
                            ended.resultsError));

    // The folder the run job wrote is the one record of the run: the answer is read from it.
    const nlohmann::json written =
        nlohmann::json::parse(fileText(ended.resultsFolder + "/run.json"));
    gcc::Inject_Responses responses;
    setText(responses.mutable_experimentrecord(), written.value("record", ""));
    setTimestamp(responses.mutable_runstart(), written.value("start_ms", std::int64_t{0}));
    setTimestamp(responses.mutable_runend(), written.value("end_ms", std::int64_t{0}));
    setText(responses.mutable_resultsfolder(), ended.resultsFolder);
    parts.executions.succeed(injection.uuid, responses.SerializeAsString());
}

}  // namespace

std::uint64_t InjectionCancel::cancel()
{
    std::lock_guard lock(mutex_);
    cancelled_ = true;
    return runJob_;
}

bool InjectionCancel::cancelled() const
{
    std::lock_guard lock(mutex_);
    return cancelled_;
}

std::optional<JobBoard::Submitted> InjectionCancel::submitRun(ServiceState& state,
                                                              const JobRequest& request)
{
    // Under the lock, so that a cancel either comes first (no run) or knows the run.
    std::lock_guard lock(mutex_);
    if (cancelled_)
        return std::nullopt;
    const JobBoard::Submitted submitted = submitJob(state, request);
    runJob_ = submitted.id;
    return submitted;
}

std::chrono::milliseconds notReadyBound()
{
    // Read once; unset (as everywhere but in tests) it is the documented ten minutes.
    static const std::chrono::milliseconds bound = [] {
        const char* value = std::getenv("GC6890_SILA_READY_BOUND_MS");
        return value ? std::chrono::milliseconds(std::atoll(value)) : kNotReadyBound;
    }();
    return bound;
}

void runInjection(const InjectionParts& parts, const Injection& injection)
{
    try {
        inject(parts, injection);
    } catch (const SilaFailure& failure) {
        parts.executions.fail(injection.uuid, failure.status);
    } catch (const std::exception& error) {
        parts.executions.fail(injection.uuid,
                              undefinedError(std::string("the server failed: ") + error.what()));
    } catch (...) {
        parts.executions.fail(injection.uuid, grpc::Status(grpc::StatusCode::INTERNAL, ""));
    }
}

}  // namespace gc6890::sila
