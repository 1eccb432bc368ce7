#include "service/job_board.h"

#include <chrono>
#include <nlohmann/json.hpp>

#include "platform/enum_names.h"
#include "service/event_hub.h"
#include "service/safe_text.h"
#include "service/snapshot.h"

namespace gc6890 {

namespace {

constexpr EnumNames kJobKindNames({"load", "run", "stop", "reset", "zones"}, JobKind::Zones);

constexpr EnumNames kJobStateNames({"queued", "running", "done", "failed"}, JobState::Failed);

}  // namespace

const char* jobKindName(JobKind kind)
{
    return kJobKindNames(kind);
}

std::optional<JobKind> jobKindNamed(std::string_view name)
{
    return kJobKindNames.find(name);
}

const char* jobStateName(JobState state)
{
    return kJobStateNames(state);
}

nlohmann::json Job::toJson() const
{
    nlohmann::json out = {{"id", id},
                          {"kind", jobKindName(request.kind)},
                          {"state", jobStateName(state)},
                          {"message", message},
                          {"created", isoTime(createdMs)}};
    if (!request.method.empty())
        out["method"] = request.method;
    if (request.kind == JobKind::Run) {
        out["vial"] = request.vial;
        out["volume"] = request.volume;
    }
    if (request.kind == JobKind::Zones)
        out["on"] = request.on;
    if (total > 0)
        out["progress"] = {{"sent", sent}, {"total", total}};
    if (finished())
        out["finished"] = isoTime(finishedMs);
    if (!resultsFolder.empty())
        out["results_folder"] = resultsFolder;
    if (!resultsError.empty())
        out["results_error"] = resultsError;
    return out;
}

std::string Job::json() const
{
    return jsonText(toJson());
}

std::string JobBoard::conflictLocked(const JobRequest& request) const
{
    if (request.kind == JobKind::Stop)
        return "";
    if (active_) {
        const Job& busy = jobs_.at(*active_);
        return std::string("job ") + std::to_string(busy.id) + " (" +
               jobKindName(busy.request.kind) + ") is " + jobStateName(busy.state);
    }
    // A reset may bring a stuck sampler back during a run; the others may not start.
    if (inRun_ && request.kind != JobKind::Reset)
        return "the GC is in a run";
    return "";
}

std::string JobBoard::conflict(const JobRequest& request) const
{
    std::lock_guard lock(mutex_);
    return conflictLocked(request);
}

JobBoard::Submitted JobBoard::submit(const JobRequest& request, const Record& record)
{
    Submitted result;
    {
        std::lock_guard lock(mutex_);
        result.conflict = conflictLocked(request);
        if (!result.conflict.empty())
            return result;
        // The acceptance is written under the board's lock (one fsync), so that the job's end
        // can never come before it in the trail.
        if (record && !record(lastId_ + 1, result.conflict)) {
            result.unrecorded = true;
            return result;
        }
        Job job;
        job.id = ++lastId_;
        job.request = request;
        job.createdMs = unixNowMs();
        jobs_[job.id] = job;
        ++counts_[JobState::Queued];
        events_.publish("job", job.json());
        if (request.kind == JobKind::Stop)
            pending_.push_front(job.id);
        else {
            pending_.push_back(job.id);
            active_ = job.id;
        }
        while (jobs_.size() > kKeptJobs && jobs_.begin()->second.finished())
            jobs_.erase(jobs_.begin());
        result.id = job.id;
        woken_ = true;
    }
    work_.notify_all();
    return result;
}

std::optional<Job> JobBoard::find(std::uint64_t id) const
{
    std::lock_guard lock(mutex_);
    const auto job = jobs_.find(id);
    if (job == jobs_.end())
        return std::nullopt;
    return job->second;
}

std::optional<Job> JobBoard::current() const
{
    std::lock_guard lock(mutex_);
    if (!active_)
        return std::nullopt;
    return jobs_.at(*active_);
}

std::optional<Job> JobBoard::take()
{
    std::lock_guard lock(mutex_);
    if (pending_.empty())
        return std::nullopt;
    Job& job = jobs_.at(pending_.front());
    pending_.pop_front();
    job.state = JobState::Running;
    return job;
}

Job JobBoard::update(std::uint64_t id, JobState state, const std::string& message, int sent,
                     int total)
{
    std::lock_guard lock(mutex_);
    Job& job = jobs_.at(id);
    job.state = state;
    if (!message.empty())
        job.message = message;
    if (sent >= 0)
        job.sent = sent;
    if (total >= 0)
        job.total = total;
    if (job.finished()) {
        job.finishedMs = unixNowMs();
        ++counts_[state];
        if (active_ == id)
            active_.reset();
    }
    return job;
}

std::optional<Job> JobBoard::setResults(std::uint64_t id, const std::string& folder,
                                        const std::string& error)
{
    std::lock_guard lock(mutex_);
    const auto job = jobs_.find(id);
    if (job == jobs_.end())
        return std::nullopt;
    job->second.resultsFolder = folder;
    job->second.resultsError = error;
    return job->second;
}

void JobBoard::setHeldMethod(const std::string& name, const std::string& content)
{
    std::lock_guard lock(mutex_);
    held_.emplace(name, content);
}

void JobBoard::forgetHeldMethod()
{
    std::lock_guard lock(mutex_);
    held_.reset();
}

bool JobBoard::holdsMethod(const std::string& name, const std::string& content) const
{
    std::lock_guard lock(mutex_);
    return held_ && held_->first == name && held_->second == content;
}

void JobBoard::runStarted()
{
    setInRun(true);
}

void JobBoard::setInRun(bool inRun)
{
    std::lock_guard lock(mutex_);
    inRun_ = inRun;
}

bool JobBoard::inRun() const
{
    std::lock_guard lock(mutex_);
    return inRun_;
}

bool JobBoard::waitForWork(int timeoutMs)
{
    std::unique_lock lock(mutex_);
    const bool woken =
        work_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return woken_; });
    woken_ = false;
    return woken;
}

void JobBoard::wake()
{
    {
        std::lock_guard lock(mutex_);
        woken_ = true;
    }
    work_.notify_all();
}

std::uint64_t JobBoard::count(JobState state) const
{
    std::lock_guard lock(mutex_);
    const auto found = counts_.find(state);
    return found == counts_.end() ? 0 : found->second;
}

}  // namespace gc6890
