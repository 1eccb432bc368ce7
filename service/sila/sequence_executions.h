// The RunSequence executions and the sequences they run. A sequence is the service's own
// (the instrument thread runs it, any door may pause, resume or abort it); its execution
// follows it from the journal, which is where the execution's UUID is kept too: a
// restarted service finds the UUID in the recovered sequence and the execution answers
// again, its steps from the first one. Controls by UUID (pause, resume, a skipped row,
// abort) are tasks on the instrument thread, as the HTTP API's.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "service/service_state.h"
#include "service/sila/command_executions.h"

namespace gc6890 {
class InstrumentThread;
}

namespace gc6890::sila {

class SequenceExecutions {
public:
    SequenceExecutions(ServiceState& state, InstrumentThread& instrument,
                       CommandExecutions& executions);
    // Ends the follower (stop()).
    ~SequenceExecutions();
    SequenceExecutions(const SequenceExecutions&) = delete;
    SequenceExecutions& operator=(const SequenceExecutions&) = delete;

    // Starts the follower, which also finds a sequence a SiLA client started before a
    // restart. Before the server listens.
    void start();
    void stop();

    // Execution `uuid` runs sequence `id` (just started by RunSequence).
    void started(const std::string& uuid, const std::string& id);

    // The sequence execution `uuid` runs, for the audit trail's lines; nothing when unknown.
    std::optional<std::string> sequenceOf(const std::string& uuid);

    enum class Control { Pause, Resume, SkipRow, Abort };
    enum class Outcome {
        Done,
        UnknownExecution,  // no execution of that UUID is known
        NotASequence,      // an execution of another command
        Refused,           // the sequence cannot do that now: `error` says why
        Busy,              // the instrument thread did not take the task in time
    };
    // What the service's pause, resume (skipping the paused row or not) and abort do, for
    // the sequence execution `uuid` runs; `reason` journalled with an abort (the service's
    // own when empty).
    Outcome control(const std::string& uuid, Control control, std::string& error,
                    const std::string& reason = "");

private:
    struct Followed {
        std::string id;
        std::size_t stepsSent = 0;  // journal entries sent as intermediate responses
        bool over = false;
    };
    // Follows execution `uuid` of sequence `id` from now on (under the lock), cancellable.
    Followed& followFrom(const std::string& uuid, const std::string& id);
    // CancelController's cancel of a RunSequence: the sequence is aborted (a run under way
    // stopped and recorded) and the execution ends with Cancelled.
    grpc::Status cancel(const std::string& uuid);
    void follow();
    void look();
    // The execution moved on to what the sequence's journal says now.
    void catchUp(const std::string& uuid, Followed& followed);

    ServiceState& state_;
    InstrumentThread& instrument_;
    CommandExecutions& executions_;
    std::mutex mutex_;
    std::map<std::string, Followed> followed_;  // by UUID
    std::string boardSeen_;                     // the board's text when last looked at
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace gc6890::sila
