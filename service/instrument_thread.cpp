#include "service/instrument_thread.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <nlohmann/json.hpp>

#include "comms/hp6890_serial_comms.h"
#include "diagnostics/error_log.h"
#include "external/inlet_utils.h"
#include "platform/platform.h"
#include "service/held_method.h"
#include "service/safe_text.h"
#include "service/sequence_control.h"
#include "service/sequence_instrument_link.h"

namespace gc6890 {

namespace {

using nlohmann::json;

// While the line cannot be opened at all, a new attempt at most this often.
constexpr int kReopenMs = 2000;
// The longest the thread sleeps between looks at its timers, jobs and the stop request.
constexpr int kLongestWaitMs = 100;

std::string trimmed(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text;
}

json gcBlockJson(const GCRemoteData& block)
{
    return {{"source", "gc"},
            {"oven_temperature", tidyReading(block.ovenTemperature)},
            {"column1_pressure", tidyReading(block.column1Pressure)},
            {"column2_pressure", tidyReading(block.column2Pressure)},
            {"column1_flow", tidyReading(block.column1Flow)},
            {"column2_flow", tidyReading(block.column2Flow)},
            {"pre_run", block.preRun != 0},
            {"ready", block.ready != 0},
            {"running", block.running != 0},
            {"error", block.error != 0}};
}

json samplerBlockJson(const SamplerRemoteData& block)
{
    return {{"source", "sampler"},
            {"error", block.error != 0},
            {"ready", block.ready != 0},
            {"busy", block.busy != 0},
            {"front_inlet_configured", block.frontInletConfigured != 0},
            {"back_inlet_configured", block.backInletConfigured != 0},
            {"front_injector_present", block.frontInjectorPresent != 0},
            {"back_injector_present", block.backInjectorPresent != 0}};
}

const char* answerName(int answer)
{
    switch (answer) {
    case IDYES:
        return "yes";
    case IDNO:
        return "no";
    case IDCANCEL:
        return "cancel";
    case IDRETRY:
        return "retry";
    case IDABORT:
        return "abort";
    default:
        return "ok";
    }
}

}  // namespace

InstrumentThread::InstrumentThread(ServiceState& state)
    : state_(state), contained_(state.events, state.metrics.instrumentFailures, "service"),
      instrument_([this](int sent, int total) {
          if (currentJob_)
              publishJob(state_.jobs.update(*currentJob_, JobState::Running,
                                            format("method line %d of %d", sent, total), sent,
                                            total));
      }),
      sequences_(std::make_unique<SequenceControl>(state, *this)), runResults_(state, *this)
{}

InstrumentThread::~InstrumentThread()
{
    stop();
    join();
}

void InstrumentThread::start()
{
    thread_ = std::thread([this] { run(); });
}

void InstrumentThread::stop()
{
    stopping_ = true;
    state_.jobs.wake();
    taskDone_.notify_all();
}

void InstrumentThread::join()
{
    if (thread_.joinable())
        thread_.join();
}

bool InstrumentThread::runTask(const InstrumentTask& task)
{
    auto pending = std::make_shared<PendingTask>();
    pending->task = task;
    {
        std::lock_guard lock(tasksMutex_);
        if (stopping_)
            return false;
        tasks_.push_back(pending);
    }
    state_.jobs.wake();
    std::unique_lock lock(tasksMutex_);
    const bool started = taskDone_.wait_for(lock, std::chrono::milliseconds(kTaskWaitMs),
                                            [&] { return pending->started || stopping_.load(); });
    if (!started || !pending->started) {
        // Not begun in time: withdraw it, so that it never runs after the caller has gone.
        std::erase(tasks_, pending);
        return false;
    }
    taskDone_.wait(lock, [&] { return pending->done; });
    return true;
}

void InstrumentThread::runTasks()
{
    for (;;) {
        std::shared_ptr<PendingTask> pending;
        {
            std::lock_guard lock(tasksMutex_);
            if (tasks_.empty())
                return;
            pending = tasks_.front();
            tasks_.pop_front();
            pending->started = true;
        }
        taskDone_.notify_all();
        contained_.run("a task", pending->task);
        {
            std::lock_guard lock(tasksMutex_);
            pending->done = true;
        }
        taskDone_.notify_all();
    }
}

bool InstrumentThread::writeRecord(const std::string& file, float volume, std::string& text)
{
    return instrument_.record(file, volume, text);
}

void InstrumentThread::run()
{
    installHandlers();
    state_.pollMs = statusFrequencyMs();
    sequences_->recoverAtStart();
    std::int64_t nextPoll = 0;
    while (!stopping_) {
        const std::int64_t now = steadyNowMs();
        if (!open_ && now >= nextOpenMs_) {
            bool opened = false;
            std::string why;
            if (!contained_.run(
                    "opening the line", [&] { opened = openComms(); }, &why)) {
                contained_.run("closing the line", [&] { closeComms(); });
                setLine(LineState::Down, "opening the line failed inside the service: " + why);
            }
            if (!opened)
                nextOpenMs_ = now + kReopenMs;
            nextPoll = steadyNowMs();
        }
        contained_.run("a timer or message of the library", [] { PumpMessages(); });
        std::string why;
        if (!contained_.run(
                "following the injection", [&] { checkInjection(); }, &why) &&
            injecting_) {
            failJob(*injecting_, why);
            injecting_.reset();
        }
        runTasks();
        if (open_) {
            if (std::optional<Job> job = state_.jobs.take())
                runJob(*job);
            if (steadyNowMs() >= nextPoll) {
                contained_.run("a poll", [&] { poll(); });
                // Polls start a period apart, whatever each one takes; after a job that
                // held the thread longer, the next one is a period after this one.
                nextPoll += state_.pollMs;
                if (nextPoll <= steadyNowMs())
                    nextPoll = steadyNowMs() + state_.pollMs;
            }
            contained_.run("a sequence step", [&] { sequences_->step(); });
            contained_.run("a run job's results", [&] { runResults_.step(view_); });
        } else if (std::optional<Job> job = state_.jobs.take()) {
            contained_.run("refusing a job", [&] {
                finishJob(job->id, false, "no communication with the instrument: " + lineReason_);
            });
        }
        std::int64_t wake =
            std::min(open_ ? nextPoll : nextOpenMs_, steadyNowMs() + kLongestWaitMs);
        if (const std::optional<std::uint64_t> timer = nextTimerDue())
            wake = std::min<std::int64_t>(wake, static_cast<std::int64_t>(*timer));
        const std::int64_t wait = wake - steadyNowMs();
        if (wait > 0)
            state_.jobs.waitForWork(static_cast<int>(wait));
    }
    contained_.run("closing the line", [&] { closeComms(); });
    removeHandlers();
}

void InstrumentThread::runJob(const Job& job)
{
    std::string why;
    if (contained_.run(
            std::string("the job ") + jobKindName(job.request.kind), [&] { startJob(job); }, &why))
        return;
    if (injecting_ == job.id)
        injecting_.reset();
    failJob(job.id, why);
}

void InstrumentThread::failJob(std::uint64_t id, const std::string& why)
{
    currentJob_.reset();
    contained_.run("ending a failed job", [&] {
        const std::optional<Job> job = state_.jobs.find(id);
        if (job && !job->finished())
            finishJob(id, false, "the service failed during the job: " + why);
    });
}

void InstrumentThread::installHandlers()
{
    // No one can answer a message box in a service: it goes to the log and the event
    // stream, and takes the answer a host without a terminal gives (the safe default).
    SetMessageBoxHandler([this](HWND, const char* text, const char* caption, UINT flags) {
        const int answer = defaultMessageBoxAnswer(flags);
        contained_.run("a message box", [&] {
            lastBox_ = validUtf8(trimmed(text ? text : ""));
            const std::string line = std::string(caption ? caption : "") + ": " + lastBox_ +
                                     " (answered " + answerName(answer) + ")";
            std::cerr << "gc6890 serve: " << loggable(line) << '\n';
            publishLog(1, "message box", line);
        });
        return answer;
    });
    SetStatusTextHandler([this](const char* text, const char*) {
        contained_.run("a status line", [&] {
            const std::string line = trimmed(text ? text : "");
            // The library puts the host's idle prompt back after its work: nothing to tell.
            if (!line.empty() && line.rfind("For Help, press F1", 0) != 0)
                publishLog(2, "status line", line);
        });
    });
    SetCommsLogObserver([this](const std::string& text, int severity) {
        contained_.run("a comms log entry",
                       [&] { publishLog(severity, "comms log", trimmed(text)); });
    });
    SetExchangeObserver([this](std::chrono::nanoseconds elapsed, bool answered) {
        if (answered)
            state_.metrics.exchangeSeconds.observe(elapsed.count());
        else
            ++state_.metrics.unansweredExchanges;
    });
}

void InstrumentThread::removeHandlers()
{
    SetExchangeObserver({});
    SetCommsLogObserver({});
    SetStatusTextHandler({});
    SetMessageBoxHandler({});
}

bool InstrumentThread::openComms()
{
    const std::string device = state_.options.device.empty() ? "the line" : state_.options.device;
    const Instrument::Part failed = instrument_.open(Instrument::Parts::GCAndSampler);
    if (failed != Instrument::Part::None) {
        closeComms();
        setLine(LineState::Down, std::string("no communication with ") +
                                     (failed == Instrument::Part::GC ? "the GC" : "the sampler") +
                                     " on " + device);
        return false;
    }
    // The instrument's own texts are made valid UTF-8 as they come in: a stray byte of line
    // noise (or an 8-bit character) in the identity answer must not reach JSON as it is.
    firmware_ = validUtf8(trimmed(instrument_.firmware()));
    hardware_ = validUtf8(instrument_.hardwareReport());
    // The registration windows call these from inside the library's own work.
    listener_ = std::make_unique<RegistrationListener>(RegistrationListener::Handlers{
        .gcBlock =
            [this](const GCRemoteData& block) {
                contained_.run("the GC's data block", [&] {
                    gcBlock_ = block;
                    haveGCBlock_ = true;
                    state_.events.publish("datablock", jsonText(gcBlockJson(block)));
                });
            },
        .samplerBlock =
            [this](const SamplerRemoteData& block) {
                contained_.run("the sampler's data block", [&] {
                    samplerBlock_ = block;
                    state_.events.publish("datablock", jsonText(samplerBlockJson(block)));
                });
            },
        .lock =
            [this](bool taken) {
                contained_.run("a lock notice", [&] {
                    state_.events.publish("lock", jsonText(json{{"locked", taken}}));
                });
            },
    });
    listener_->registerWith(instrument_.gcWindow());
    listener_->registerWith(instrument_.samplerWindow());
    open_ = true;
    failures_ = 0;
    publishLog(2, "service", "communications open on " + device + ", GC firmware " + firmware_);
    return true;
}

void InstrumentThread::closeComms()
{
    const bool wasOpen = open_;
    open_ = false;
    const bool clean = instrument_.close();
    listener_.reset();
    if (!wasOpen)
        return;
    const std::string device = state_.options.device.empty() ? "the line" : state_.options.device;
    const std::string text =
        clean ? "communications closed on " + device
              : "communications on " + device + " closed without the instrument's answer";
    std::cerr << "gc6890 serve: " << loggable(text) << '\n';
    publishLog(clean ? 2 : 1, "service", text);
}

void InstrumentThread::poll()
{
    const std::int64_t started = steadyNowMs();
    InstrumentStatus status;
    const bool ok = instrument_.poll(status) && !status.commsFailure();
    const std::int64_t finished = steadyNowMs();
    state_.metrics.pollSeconds.observe((finished - started) * 1000000);
    if (!ok) {
        ++state_.metrics.failedPolls;
        ++failures_;
        // The first failed poll has the library rebuild the channel; when the next one
        // fails too, the instrument is out of reach until a rebuild succeeds.
        setLine(failures_ == 1 ? LineState::Rebuilding : LineState::Down,
                status.errorText.empty() ? "the instrument did not answer the poll"
                                         : status.errorText);
        return;
    }
    ++state_.metrics.polls;
    if (failures_ > 0 && line_ != LineState::Up) {
        ++state_.metrics.rebuilds;
        // The registration windows live on through a rebuild; registering again is harmless.
        listener_->registerWith(instrument_.gcWindow());
        listener_->registerWith(instrument_.samplerWindow());
        publishLog(1, "service", "the line is back: polls resume");
    }
    failures_ = 0;
    line_ = LineState::Up;
    lineReason_.clear();
    view_ = sequenceView(status, state_.metrics.polls);
    publishPoll(status, finished);
}

void InstrumentThread::publishPoll(const InstrumentStatus& status, std::int64_t steadyMs)
{
    auto snapshot = std::make_shared<Snapshot>();
    snapshot->polls = state_.metrics.polls;
    snapshot->timeMs = unixNowMs();
    snapshot->steadyMs = steadyMs;
    snapshot->line = LineState::Up;
    snapshot->run = status.runState;
    // A busy sampler (an injection on its way) counts as a run for the jobs, as it does in
    // the merged record.
    snapshot->inRun = runUnderWay(status.runState) || injecting_.has_value() || status.running;
    snapshot->status = status;
    snapshot->json = statusBody(status, snapshot->timeMs);
    state_.jobs.setInRun(snapshot->inRun);
    state_.history.add(HistorySample{
        .timeMs = snapshot->timeMs,
        .ovenTemperature = status.ovenTemperature,
        .column1Pressure = status.column1Pressure,
        .column2Pressure = haveGCBlock_ ? gcBlock_.column2Pressure : 0.0f,
        .column1Flow = status.column1Flow,
        .column2Flow = haveGCBlock_ ? gcBlock_.column2Flow : 0.0f,
        .runState = static_cast<std::int32_t>(status.runState),
    });
    followRunState(status, snapshot->timeMs);
    publishSnapshot(snapshot);
}

nlohmann::json InstrumentThread::statusBody(const InstrumentStatus& status, std::int64_t unixMs)
{
    json body = status;
    if (!state_.options.name.empty())
        body["name"] = state_.options.name;
    body["column2_pressure"] = haveGCBlock_ ? tidyReading(gcBlock_.column2Pressure) : 0.0;
    body["column2_flow"] = haveGCBlock_ ? tidyReading(gcBlock_.column2Flow) : 0.0;
    body["identity"] = {
        {"product", "HP 6890 GC"}, {"firmware", firmware_}, {"hardware", hardware_}};
    body["sampler"] = samplerBlock_ ? samplerBlockJson(*samplerBlock_) : json(nullptr);
    body["time"] = isoTime(unixMs);
    body["polls"] = state_.metrics.polls.load();
    work_.addTo(body, state_.sequences.latest().second);
    return body;
}

void InstrumentThread::followRunState(const InstrumentStatus& status, std::int64_t unixMs)
{
    const RunState run = status.runState;
    if (run_ && *run_ == run)
        return;
    json change = {{"state", runStateName(run)},
                   {"elapsed_min", tidyReading(status.elapsedMin)},
                   {"time", isoTime(unixMs)}};
    if (run_)
        change["previous"] = runStateName(*run_);
    else if (runUnderWay(run)) {
        // Found at start (a restart during a run): reported, and never injected again.
        change["found_at_start"] = true;
        publishLog(1, "service",
                   std::string("the GC is in a run (") + runStateName(run) +
                       ") at start; the service follows it and injects nothing");
    }
    run_ = run;
    state_.events.publish("run", jsonText(change));
}

void InstrumentThread::setLine(LineState line, const std::string& reason)
{
    const bool changed = line != line_ || reason != lineReason_;
    // The GC may be restarted while out of reach: the method it holds is unknown.
    state_.jobs.forgetHeldMethod();
    view_.lineUp = false;
    line_ = line;
    lineReason_ = reason;
    auto snapshot = std::make_shared<Snapshot>(last_ ? *last_ : Snapshot{});
    snapshot->line = line;
    snapshot->lineReason = reason;
    if (changed)
        publishLog(1, "service", std::string("line ") + lineStateName(line) + ": " + reason);
    publishSnapshot(snapshot);
}

void InstrumentThread::publishSnapshot(std::shared_ptr<const Snapshot> snapshot)
{
    last_ = snapshot;
    state_.snapshot.set(snapshot);
    const std::optional<Job> job = state_.jobs.current();
    state_.events.publish(
        "status", jsonText(statusObject(*snapshot, job ? job->toJson() : nullptr, steadyNowMs())));
}

void InstrumentThread::publishJob(const Job& job)
{
    state_.events.publish("job", job.json());
}

void InstrumentThread::publishLog(int severity, const std::string& source, const std::string& text)
{
    state_.events.log(severity, source, text);
}

std::string InstrumentThread::withMessageBox(const std::string& what) const
{
    if (lastBox_.empty())
        return what;
    std::string box = lastBox_;
    std::replace(box.begin(), box.end(), '\n', ' ');
    return what + ": " + box;
}

namespace {

std::string partName(Instrument::Part part)
{
    return part == Instrument::Part::GC ? "the GC" : "the sampler";
}

}  // namespace

bool InstrumentThread::loadMethod(const std::string& file, std::string& error)
{
    lastBox_.clear();
    const HeldMethodLoad held(state_.jobs, file);
    const Instrument::Part refused = instrument_.load(file);
    if (refused != Instrument::Part::None) {
        error = withMessageBox(partName(refused) + " did not take the method " + file);
        return false;
    }
    held.taken();
    work_.loaded(file);
    return true;
}

bool InstrumentThread::startInjection(const std::string& file, int vial, float volume,
                                      std::string& error)
{
    lastBox_.clear();
    const Instrument::Part refused = instrument_.inject(file, vial, volume);
    if (refused == Instrument::Part::Sampler) {
        error = withMessageBox("the sampler did not start the injection from vial " +
                               std::to_string(vial));
        return false;
    }
    // In a run from the sampler's start for every later request, not from the next poll.
    state_.jobs.runStarted();
    work_.injected(file, vial);
    if (refused == Instrument::Part::GC) {
        error = withMessageBox("the GC did not start");
        return false;
    }
    return true;
}

// A job a door handed over ends with a line of its own (its acceptance had one): who asked,
// and how it went. Written before the board says the job ended, so that no client (one
// polling the job, one following the events) learns of its end first.
void InstrumentThread::auditJobEnd(std::uint64_t id, bool ok, const std::string& message)
{
    const std::optional<Job> job = state_.jobs.find(id);
    if (!job || job->request.origin.door.empty())
        return;
    nlohmann::json params =
        job->request.auditParams.is_object() ? job->request.auditParams : nlohmann::json::object();
    params["job"] = id;
    std::string error;
    if (!state_.audit.record(job->request.origin, jobKindName(job->request.kind), params,
                             ok ? "ok" : "failed: " + message, error))
        state_.events.log(1, "service", error);
}

void InstrumentThread::finishJob(std::uint64_t id, bool ok, const std::string& message)
{
    currentJob_.reset();
    auditJobEnd(id, ok, message);
    const Job job = state_.jobs.update(id, ok ? JobState::Done : JobState::Failed, message);
    publishJob(job);
    runResults_.jobEnded(job);
}

void InstrumentThread::startJob(const Job& job)
{
    publishJob(job);
    const JobRequest& request = job.request;
    const bool needsIdle = request.kind == JobKind::Load || request.kind == JobKind::Run ||
                           request.kind == JobKind::Zones;
    if (needsIdle && ((run_ && runUnderWay(*run_)) || injecting_)) {
        finishJob(job.id, false, "the GC is in a run");
        return;
    }
    lastBox_.clear();
    currentJob_ = job.id;
    std::string error;
    switch (request.kind) {
    case JobKind::Load:
        if (!loadMethod(request.method, error))
            return finishJob(job.id, false, error);
        return finishJob(job.id, true, "loaded " + request.method);
    case JobKind::Run: {
        if (!startInjection(request.method, request.vial, request.volume, error))
            return finishJob(job.id, false, error);
        const std::string vial = std::to_string(request.vial);
        if (instrument_.injectionWait() == InjectionWait::None)
            return finishJob(job.id, true, "injection from vial " + vial + " accepted");
        // The sampler answers when it actually injects: the job ends with that answer.
        injecting_ = job.id;
        currentJob_.reset();
        publishJob(
            state_.jobs.update(job.id, JobState::Running,
                               "injecting from vial " + vial + ": awaiting the sampler's answer"));
        return;
    }
    case JobKind::Stop: {
        const Instrument::Part failed = instrument_.stop();
        if (injecting_) {
            finishJob(*injecting_, false, "stopped before the sampler answered the injection");
            injecting_.reset();
        }
        // A sequence under way follows the run's end, writes its record and pauses.
        sequences_->stopped();
        runResults_.stopped();
        if (failed != Instrument::Part::None)
            return finishJob(job.id, false, withMessageBox(partName(failed) + " did not stop"));
        return finishJob(job.id, true, "stopped");
    }
    case JobKind::Reset:
        if (!instrument_.resetSampler())
            return finishJob(job.id, false, withMessageBox("the sampler did not reset"));
        return finishJob(job.id, true, "sampler reset");
    case JobKind::Zones:
        if (!instrument_.zones(request.on))
            return finishJob(job.id, false, withMessageBox("the GC did not switch its zones"));
        return finishJob(job.id, true, request.on ? "zones on" : "zones off");
    }
}

void InstrumentThread::checkInjection()
{
    if (!injecting_ || !instrument_.hasSampler())
        return;
    switch (instrument_.injectionWait()) {
    case InjectionWait::Awaiting:
        return;
    case InjectionWait::Accepted:
        finishJob(*injecting_, true, "injection accepted");
        break;
    case InjectionWait::Refused:
        finishJob(*injecting_, false, withMessageBox("the sampler refused the injection"));
        break;
    case InjectionWait::None:
        // Settled and already taken up by a sampler poll inside a library wait.
        finishJob(*injecting_, instrument_.injectionAnswerOk(),
                  instrument_.injectionAnswerOk() ? "injection accepted"
                                                  : "the sampler refused the injection");
        break;
    }
    injecting_.reset();
}

}  // namespace gc6890
