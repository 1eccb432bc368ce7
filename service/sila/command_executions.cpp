#include "service/sila/command_executions.h"

#include <algorithm>
#include <utility>

#include "platform/enum_names.h"
#include "service/sila/sila_home.h"

namespace gc6890::sila {

CommandExecutions::CommandExecutions(std::chrono::seconds lifetime, std::size_t capacity)
    : lifetime_(lifetime), capacity_(capacity)
{}

bool CommandExecutions::makeRoom()
{
    forgetExpired();
    if (executions_.size() < capacity_)
        return true;
    // Room is made by forgetting the oldest finished execution; one still under way is
    // never forgotten.
    auto oldest = executions_.end();
    for (auto it = executions_.begin(); it != executions_.end(); ++it)
        if (finished(it->second.state.status) &&
            (oldest == executions_.end() || it->second.started < oldest->second.started))
            oldest = it;
    if (oldest == executions_.end())
        return false;
    executions_.erase(oldest);
    return true;
}

void CommandExecutions::add(const std::string& uuid)
{
    Execution& execution = executions_[uuid];
    execution.started = now();
    changed(execution);
}

std::string CommandExecutions::start()
{
    std::lock_guard lock(mutex_);
    if (!makeRoom())
        return {};
    std::string uuid = randomUuid();
    add(uuid);
    return uuid;
}

bool CommandExecutions::adopt(const std::string& uuid)
{
    std::lock_guard lock(mutex_);
    if (find(uuid) || !makeRoom())
        return false;
    add(uuid);
    return true;
}

CommandExecutions::Execution* CommandExecutions::find(const std::string& uuid)
{
    const auto found = executions_.find(uuid);
    return found == executions_.end() ? nullptr : &found->second;
}

void CommandExecutions::changed(Execution& execution)
{
    // The end may move later, never earlier: each change keeps it a lifetime away.
    execution.forgetAt = std::max(execution.forgetAt, now() + lifetime_);
    ++execution.state.version;
    changed_.notify_all();
}

void CommandExecutions::update(const std::string& uuid,
                               const std::function<void(ExecutionState&)>& change)
{
    std::lock_guard lock(mutex_);
    Execution* execution = find(uuid);
    if (!execution || finished(execution->state.status))
        return;  // a finished execution stays as it ended
    change(execution->state);
    changed(*execution);
}

void CommandExecutions::running(const std::string& uuid, double progress,
                                std::optional<double> remainingSeconds)
{
    update(uuid, [&](ExecutionState& state) {
        state.status = ExecutionStatus::Running;
        state.progress = std::clamp(progress, 0.0, 1.0);
        state.remainingSeconds = remainingSeconds;
    });
}

void CommandExecutions::intermediate(const std::string& uuid, std::string serialized)
{
    update(uuid,
           [&](ExecutionState& state) { state.intermediates.push_back(std::move(serialized)); });
}

void CommandExecutions::succeed(const std::string& uuid, std::string serializedResponses)
{
    update(uuid, [&](ExecutionState& state) {
        state.status = ExecutionStatus::FinishedSuccessfully;
        state.progress = 1;
        state.remainingSeconds = 0;
        state.responses = std::move(serializedResponses);
    });
}

void CommandExecutions::fail(const std::string& uuid, grpc::Status error)
{
    update(uuid, [&](ExecutionState& state) {
        state.status = ExecutionStatus::FinishedWithError;
        state.remainingSeconds = 0;
        state.error = std::move(error);
    });
}

std::optional<ExecutionState> CommandExecutions::await(const std::string& uuid,
                                                       std::uint64_t afterVersion,
                                                       std::chrono::milliseconds wait)
{
    std::unique_lock lock(mutex_);
    forgetExpired();
    const auto until = Clock::now() + wait;
    for (;;) {
        Execution* execution = find(uuid);
        if (!execution)
            return std::nullopt;
        if (execution->state.version > afterVersion || closed_ ||
            changed_.wait_until(lock, until) == std::cv_status::timeout) {
            execution = find(uuid);
            if (!execution)
                return std::nullopt;
            ExecutionState state = execution->state;
            state.lifetimeSeconds =
                std::chrono::duration<double>(execution->forgetAt - now()).count();
            return state;
        }
    }
}

void CommandExecutions::setCancellation(const std::string& uuid, Cancellation cancellation)
{
    std::lock_guard lock(mutex_);
    if (Execution* execution = find(uuid))
        execution->cancellation = std::move(cancellation);
}

CancelOutcome CommandExecutions::cancel(const std::string& uuid, grpc::Status& answer,
                                        std::string& refusal)
{
    std::function<grpc::Status()> action;
    {
        std::lock_guard lock(mutex_);
        forgetExpired();
        Execution* execution = find(uuid);
        if (!execution)
            return CancelOutcome::Unknown;
        if (finished(execution->state.status))
            return CancelOutcome::Finished;
        if (!execution->cancellation.action) {
            refusal = execution->cancellation.refusal.empty() ? "this command cannot be cancelled"
                                                              : execution->cancellation.refusal;
            return CancelOutcome::NotSupported;
        }
        answer = grpc::Status::OK;
        if (std::exchange(execution->cancelled, true))
            return CancelOutcome::Cancelled;
        action = execution->cancellation.action;
    }
    // The action may wait for the instrument (a stop): never under the lock every stream
    // and command of the server takes.
    answer = action();
    return CancelOutcome::Cancelled;
}

std::vector<std::string> CommandExecutions::underWay()
{
    std::lock_guard lock(mutex_);
    std::vector<std::string> uuids;
    for (const auto& [uuid, execution] : executions_)
        if (!finished(execution.state.status))
            uuids.push_back(uuid);
    return uuids;
}

void CommandExecutions::close()
{
    std::lock_guard lock(mutex_);
    closed_ = true;
    changed_.notify_all();
}

bool CommandExecutions::closed()
{
    std::lock_guard lock(mutex_);
    return closed_;
}

void CommandExecutions::discard(const std::string& uuid)
{
    std::lock_guard lock(mutex_);
    executions_.erase(uuid);
}

void CommandExecutions::advance(Clock::duration by)
{
    std::lock_guard lock(mutex_);
    skew_ += by;
}

void CommandExecutions::forgetExpired()
{
    const Clock::time_point at = now();
    std::erase_if(executions_, [at](const auto& entry) {
        return finished(entry.second.state.status) && entry.second.forgetAt <= at;
    });
}

const char* executionStatusName(ExecutionStatus status)
{
    static constexpr EnumNames kNames(
        {"waiting", "running", "finishedSuccessfully", "finishedWithError"},
        ExecutionStatus::FinishedWithError);
    return kNames(status);
}

}  // namespace gc6890::sila
