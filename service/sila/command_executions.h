// The observable commands' executions: each has a UUID, an ExecutionInfo that moves from
// waiting to running to finished (never back), the intermediate responses sent so far and,
// at the end, its responses or its error. Kept for the lifetime the confirmation announced
// after their last change, then forgotten (their UUID is unknown from then on). The
// responses travel serialized, so that one registry serves every command. A command that can
// be cancelled (CancelController) registers how with its execution.
#pragma once

#include <grpcpp/support/status.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace gc6890::sila {

enum class ExecutionStatus { Waiting, Running, FinishedSuccessfully, FinishedWithError };

struct ExecutionState {
    ExecutionStatus status = ExecutionStatus::Waiting;
    double progress = 0;                     // 0 to 1
    std::optional<double> remainingSeconds;  // the estimate, when there is one
    double lifetimeSeconds = 0;              // until it is forgotten
    std::uint64_t version = 0;               // grows with every change of the above
    std::vector<std::string> intermediates;  // serialized, in order
    std::string responses;                   // serialized, when finished successfully
    grpc::Status error;                      // when finished with an error
};

// How an execution under way is cancelled, given by the command that started it before it
// runs. `action` stops the command for good and answers once it has (the command then ends
// its execution with its own error); without one the command cannot be cancelled, and
// `refusal` says why.
struct Cancellation {
    std::function<grpc::Status()> action;
    std::string refusal;
};

enum class CancelOutcome { Cancelled, Unknown, Finished, NotSupported };

class CommandExecutions {
public:
    using Clock = std::chrono::steady_clock;

    // `lifetime`: how long an execution is kept after its last change; at most `capacity`
    // kept at once (the oldest finished one is forgotten first).
    explicit CommandExecutions(std::chrono::seconds lifetime = std::chrono::hours(1),
                               std::size_t capacity = 10000);

    std::chrono::seconds lifetime() const { return lifetime_; }

    // A new execution, waiting; its UUID. Empty when `capacity` executions are under way.
    std::string start();

    // An execution under a UUID given before (a command found again after a restart),
    // waiting. False when that UUID is known already or `capacity` executions are under way.
    bool adopt(const std::string& uuid);

    // The changes its command makes; an execution that finished takes no more.
    void running(const std::string& uuid, double progress,
                 std::optional<double> remainingSeconds = std::nullopt);
    void intermediate(const std::string& uuid, std::string serialized);
    void succeed(const std::string& uuid, std::string serializedResponses);
    void fail(const std::string& uuid, grpc::Status error);

    // The execution's state once its version passes `afterVersion` (at once when it has),
    // waiting at most `wait`; with the state as it stands when the wait ends. Nothing when
    // the UUID is unknown or forgotten.
    std::optional<ExecutionState> await(const std::string& uuid, std::uint64_t afterVersion,
                                        std::chrono::milliseconds wait);
    std::optional<ExecutionState> state(const std::string& uuid)
    {
        return await(uuid, UINT64_MAX, std::chrono::milliseconds(0));
    }

    void setCancellation(const std::string& uuid, Cancellation cancellation);
    // Cancels an execution under way: the first cancel runs its action (outside the
    // registry's lock) and `answer` gets the action's status; a later one is answered OK at
    // once, the first one doing the work. `refusal` gets the reason of NotSupported.
    CancelOutcome cancel(const std::string& uuid, grpc::Status& answer, std::string& refusal);
    // The UUIDs of the executions under way.
    std::vector<std::string> underWay();

    // Wakes every waiter; nothing is awaited after (for the server's stop).
    void close();
    bool closed();
    // Forgets an execution at once (one whose command was refused after all).
    void discard(const std::string& uuid);

    // For tests: the clock moved on by `by`.
    void advance(Clock::duration by);

private:
    struct Execution {
        ExecutionState state;
        Clock::time_point forgetAt;
        Clock::time_point started;
        Cancellation cancellation;
        bool cancelled = false;
    };
    Clock::time_point now() const { return Clock::now() + skew_; }
    void forgetExpired();
    Execution* find(const std::string& uuid);
    void changed(Execution& execution);
    // Applies `change` to an execution still under way, under the lock, and wakes its
    // watchers; nothing for an unknown or finished one.
    void update(const std::string& uuid, const std::function<void(ExecutionState&)>& change);
    // Room for one more execution, under the lock; false when every place is under way.
    bool makeRoom();
    void add(const std::string& uuid);

    std::chrono::seconds lifetime_;
    std::size_t capacity_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::map<std::string, Execution> executions_;
    Clock::duration skew_{};
    bool closed_ = false;
};

const char* executionStatusName(ExecutionStatus status);
inline bool finished(ExecutionStatus status)
{
    return status == ExecutionStatus::FinishedSuccessfully ||
           status == ExecutionStatus::FinishedWithError;
}

}  // namespace gc6890::sila
