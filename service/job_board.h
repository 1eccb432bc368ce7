// Jobs: what an HTTP request asks the instrument thread to do. There is no queue: one job
// at a time, and a second one is refused while the first is under way or the GC is in a
// run, except stop, which is always taken and goes first.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "service/audit_log.h"

namespace gc6890 {

enum class JobKind { Load, Run, Stop, Reset, Zones };
const char* jobKindName(JobKind kind);  // "load", "run", "stop", "reset", "zones"
std::optional<JobKind> jobKindNamed(std::string_view name);  // none for another word

struct JobRequest {
    JobKind kind = JobKind::Stop;
    std::string method;   // load, run
    int vial = 0;         // run
    float volume = 1.0f;  // run
    bool on = false;      // zones
    // The instrument lock's identifier the request came with (SiLA's LockIdentifier
    // metadata); "" from the doors that have none.
    std::string lockIdentifier;
    // Who asked through which door, and the line's parameters (jobAuditParams): the job's
    // end is written to the audit trail with them. No door (a sequence's own step): no line.
    AuditOrigin origin;
    nlohmann::json auditParams;
};

enum class JobState { Queued, Running, Done, Failed };
const char* jobStateName(JobState state);  // "queued", "running", "done", "failed"

struct Job {
    std::uint64_t id = 0;
    JobRequest request;
    JobState state = JobState::Queued;
    std::string message;  // what happened, or why it failed
    int sent = 0;         // method lines sent so far (load, run with a download)
    int total = 0;
    std::int64_t createdMs = 0;
    std::int64_t finishedMs = 0;
    // A run job's results, once its run has ended (the job itself ends when the sampler
    // takes the injection): the folder written, or why none could be.
    std::string resultsFolder;
    std::string resultsError;

    bool finished() const { return state == JobState::Done || state == JobState::Failed; }
    bool resultsSettled() const { return !resultsFolder.empty() || !resultsError.empty(); }
    // {"id":..,"kind":..,"state":..,"message":..,"progress":{"sent":..,"total":..},...}
    nlohmann::json toJson() const;
    std::string json() const;  // toJson as text
};

class EventHub;

class JobBoard {
public:
    // Each job taken is told on `events` ("job", queued) before anything else can happen
    // to it.
    explicit JobBoard(EventHub& events) : events_(events) {}

    struct Submitted {
        std::uint64_t id = 0;  // 0 when refused
        std::string conflict;  // why it was refused
        // When refused for the instrument's lock: when it lapses unless used again.
        std::string lockedUntil;
        bool unrecorded = false;  // refused because the audit trail could not be written
    };

    // Writes a job's acceptance (the audit trail's line) once its id is known, before anyone
    // can take or see the job; false with `error` when it could not.
    using Record = std::function<bool(std::uint64_t id, std::string& error)>;

    // From an HTTP thread (or the broker's). With `record`, a job whose acceptance cannot be
    // written is not taken (id 0, `unrecorded`, the error as the conflict).
    Submitted submit(const JobRequest& request, const Record& record = {});
    // Why `request` would be refused now ("" when it would be taken); nothing is submitted.
    std::string conflict(const JobRequest& request) const;
    std::optional<Job> find(std::uint64_t id) const;
    // The job under way (queued or running), if any, stop aside.
    std::optional<Job> current() const;

    // From the instrument thread: the next job to start (a stop first), marked running.
    std::optional<Job> take();
    // Records progress or the end of a job and returns the record as it now stands.
    Job update(std::uint64_t id, JobState state, const std::string& message, int sent = -1,
               int total = -1);

    // From the instrument thread: the results of a run job's run, written or not; nothing
    // when the board no longer keeps the job.
    std::optional<Job> setResults(std::uint64_t id, const std::string& folder,
                                  const std::string& error);

    // The method the GC holds as far as the service knows: its name and the stored text it
    // was loaded from. From the instrument thread: set after a load the GC and sampler
    // took, cleared by any other load and whenever the line is lost (the GC may have been
    // restarted meanwhile).
    void setHeldMethod(const std::string& name, const std::string& content);
    void forgetHeldMethod();
    // True when the GC holds the method `name` loaded from exactly `content`.
    bool holdsMethod(const std::string& name, const std::string& content) const;

    // The GC in a run as the jobs see it (pre-run, run, post-run, or the sampler busy with
    // an injection). From the instrument thread: runStarted() the moment the sampler accepts
    // an injection, before the job ends, so that no request slips in before the next poll;
    // setInRun() with what each poll finds.
    void runStarted();
    void setInRun(bool inRun);
    bool inRun() const;

    // Waits at most `timeoutMs` for a job to be submitted or for wake(); false on time-out.
    bool waitForWork(int timeoutMs);
    void wake();

    std::uint64_t count(JobState state) const;

private:
    std::string conflictLocked(const JobRequest& request) const;

    static constexpr std::size_t kKeptJobs = 256;  // finished jobs kept for GET /jobs/{id}

    EventHub& events_;
    mutable std::mutex mutex_;
    std::condition_variable work_;
    bool woken_ = false;
    std::uint64_t lastId_ = 0;
    std::map<std::uint64_t, Job> jobs_;
    std::deque<std::uint64_t> pending_;    // submitted, not taken yet
    std::optional<std::uint64_t> active_;  // the one non-stop job under way
    bool inRun_ = false;
    std::optional<std::pair<std::string, std::string>> held_;  // name, content
    std::map<JobState, std::uint64_t> counts_;
};

}  // namespace gc6890
