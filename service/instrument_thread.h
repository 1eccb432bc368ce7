// The instrument thread: the one owner of every library object (the instrument object with
// the GC and sampler objects, their windows and timers, the channel). It opens
// communications, polls the instrument at the status frequency, carries out one job at a
// time and runs the message pump in between. Everything it learns goes out through the
// shared state: the snapshot, the history and the event stream. No other thread touches a
// library object.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "sequence/sequence_instrument.h"
#include "service/contained_failures.h"
#include "service/registration_listener.h"
#include "service/run_job_results.h"
#include "service/service_state.h"
#include "service/status_work.h"
#include "station/instrument.h"

namespace gc6890 {

class SequenceControl;

// The longest a door's request waits for the instrument thread to take its task (a load or
// a method download in progress): the HTTP API's and the SiLA 2 server's.
inline constexpr int kTaskWaitMs = 10000;

class InstrumentThread {
public:
    explicit InstrumentThread(ServiceState& state);
    // Stops the thread (as stop()) and waits for it.
    ~InstrumentThread();
    InstrumentThread(const InstrumentThread&) = delete;
    InstrumentThread& operator=(const InstrumentThread&) = delete;

    void start();
    // Asks the thread to end: the exchange or job in flight finishes, communications are
    // closed, the objects destroyed. join() waits for that.
    void stop();
    void join();

    // Runs `task` on the instrument thread between polls and jobs; false when it did not
    // start within kTaskWaitMs (a long job is under way) or the thread is ending.
    bool runTask(const InstrumentTask& task);

    // On the instrument thread (in a task): the experiment record of the method file with
    // the injection volume, as "gc6890 record" prints it. False when the file cannot be read.
    bool writeRecord(const std::string& file, float volume, std::string& text);

    // On the instrument thread (in a task): the sequence under way, if any.
    SequenceControl& sequences() { return *sequences_; }

    // On the instrument thread, for its jobs and the sequence under way: the operations
    // both carry out, each false with `error` naming the part that refused.
    bool loadMethod(const std::string& file, std::string& error);
    // The sampler's injection and the GC's start; in a run for the jobs from then on.
    bool startInjection(const std::string& file, int vial, float volume, std::string& error);
    Instrument& instrument() { return instrument_; }
    // What the sequence runner decides on, as the last poll found it.
    const InstrumentView& view() const { return view_; }
    // `what` with the text of the message box the library showed since the operation
    // began, if any.
    std::string withMessageBox(const std::string& what) const;

private:
    void run();
    void installHandlers();
    void removeHandlers();
    bool openComms();
    void closeComms();
    void poll();
    // A good poll's snapshot, history sample and run event, and its status object.
    void publishPoll(const InstrumentStatus& status, std::int64_t steadyMs);
    nlohmann::json statusBody(const InstrumentStatus& status, std::int64_t unixMs);
    void followRunState(const InstrumentStatus& status, std::int64_t unixMs);
    void startJob(const Job& job);
    void finishJob(std::uint64_t id, bool ok, const std::string& message);
    void auditJobEnd(std::uint64_t id, bool ok, const std::string& message);
    void checkInjection();
    void runTasks();
    void runJob(const Job& job);
    void failJob(std::uint64_t id, const std::string& why);
    void publishJob(const Job& job);
    void publishLog(int severity, const std::string& source, const std::string& text);
    void setLine(LineState line, const std::string& reason);
    void publishSnapshot(std::shared_ptr<const Snapshot> snapshot);

    ServiceState& state_;
    // Every step of the loop (opening the line, a timer, a job, a task, a poll, a sequence
    // step) and every handler the library calls runs through this: an exception costs that
    // step, never the thread.
    ContainedFailures contained_;
    std::thread thread_;
    std::atomic<bool> stopping_{false};

    struct PendingTask {
        InstrumentTask task;
        bool started = false;
        bool done = false;
    };
    std::mutex tasksMutex_;
    std::condition_variable taskDone_;
    std::deque<std::shared_ptr<PendingTask>> tasks_;

    // Owned by the thread itself from here on.
    Instrument instrument_;
    std::unique_ptr<RegistrationListener> listener_;
    bool open_ = false;
    std::int64_t nextOpenMs_ = 0;
    int failures_ = 0;  // polls failed in a row
    LineState line_ = LineState::Down;
    std::string lineReason_ = "not opened yet";
    std::shared_ptr<const Snapshot> last_;
    std::optional<RunState> run_;  // unknown until the first good poll
    GCRemoteData gcBlock_;
    bool haveGCBlock_ = false;
    std::optional<SamplerRemoteData> samplerBlock_;
    std::optional<std::uint64_t> injecting_;   // the run job awaiting the late answer
    std::optional<std::uint64_t> currentJob_;  // for the download progress
    std::string lastBox_;
    std::string firmware_;
    std::string hardware_;  // the GC's hardware report, read once the line is open
    InstrumentView view_;   // what the sequence runner decides on
    std::unique_ptr<SequenceControl> sequences_;
    RunJobResults runResults_;
    StatusWork work_;  // the method, vial and sequence the status tells of
};

}  // namespace gc6890
