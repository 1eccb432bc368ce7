#include "service/sila/execution_rpcs.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace gc6890::sila {

namespace {

void setDuration(fw::Duration* duration, double seconds)
{
    seconds = std::max(0.0, seconds);
    const double whole = std::floor(seconds);
    duration->set_seconds(static_cast<std::int64_t>(whole));
    duration->set_nanos(static_cast<std::int32_t>((seconds - whole) * 1e9));
}

fw::ExecutionInfo infoOf(const ExecutionState& state)
{
    // Indexed by ExecutionStatus, in its order.
    static constexpr fw::ExecutionInfo::CommandStatus kStatuses[] = {
        fw::ExecutionInfo::waiting, fw::ExecutionInfo::running,
        fw::ExecutionInfo::finishedSuccessfully, fw::ExecutionInfo::finishedWithError};
    static_assert(std::size(kStatuses) ==
                  static_cast<std::size_t>(ExecutionStatus::FinishedWithError) + 1);
    fw::ExecutionInfo info;
    info.set_commandstatus(kStatuses[static_cast<std::size_t>(state.status)]);
    info.mutable_progressinfo()->set_value(state.progress);
    if (state.remainingSeconds)
        setDuration(info.mutable_estimatedremainingtime(), *state.remainingSeconds);
    setDuration(info.mutable_updatedlifetimeofexecution(), state.lifetimeSeconds);
    return info;
}

grpc::Status unknownUuid(const std::string& uuid)
{
    return frameworkError(fw::FrameworkError::INVALID_COMMAND_EXECUTION_UUID,
                          "no command execution " + uuid +
                              " is known here (never started, or forgotten a lifetime after "
                              "its end)");
}

// How often a stream with nothing new looks whether its client is gone.
constexpr std::chrono::milliseconds kWake(250);

}  // namespace

std::string startExecution(CommandExecutions& executions)
{
    std::string uuid = executions.start();
    if (uuid.empty())
        throw SilaFailure{frameworkError(fw::FrameworkError::COMMAND_EXECUTION_NOT_ACCEPTED,
                                         "too many command executions are under way")};
    return uuid;
}

fw::CommandConfirmation confirmationOf(const std::string& uuid, std::chrono::seconds lifetime)
{
    fw::CommandConfirmation confirmation;
    confirmation.mutable_commandexecutionuuid()->set_value(uuid);
    confirmation.mutable_lifetimeofexecution()->set_seconds(lifetime.count());
    return confirmation;
}

grpc::Status streamExecutionInfo(CommandExecutions& executions, grpc::ServerContext& context,
                                 const fw::CommandExecutionUUID& uuid,
                                 grpc::ServerWriter<fw::ExecutionInfo>& writer)
{
    std::optional<ExecutionState> state = executions.state(uuid.value());
    if (!state)
        return unknownUuid(uuid.value());
    if (!writer.Write(infoOf(*state)))
        return grpc::Status::OK;
    while (!finished(state->status) && !context.IsCancelled()) {
        const std::uint64_t seen = state->version;
        state = executions.await(uuid.value(), seen, kWake);
        if (!state)
            return grpc::Status::OK;  // forgotten: the server is ending
        if (state->version != seen && !writer.Write(infoOf(*state)))
            return grpc::Status::OK;
        if (state->version == seen && executions.closed())
            return grpc::Status::OK;
    }
    return grpc::Status::OK;
}

grpc::Status streamIntermediates(CommandExecutions& executions, grpc::ServerContext& context,
                                 const fw::CommandExecutionUUID& uuid,
                                 const std::function<bool(const std::string&)>& send)
{
    std::optional<ExecutionState> state = executions.state(uuid.value());
    if (!state)
        return unknownUuid(uuid.value());
    std::size_t sent = 0;
    for (;;) {
        for (; sent < state->intermediates.size(); ++sent)
            if (!send(state->intermediates[sent]))
                return grpc::Status::OK;
        if (finished(state->status) || context.IsCancelled())
            return grpc::Status::OK;
        const std::uint64_t seen = state->version;
        state = executions.await(uuid.value(), seen, kWake);
        if (!state || (state->version == seen && executions.closed()))
            return grpc::Status::OK;
    }
}

grpc::Status executionResult(CommandExecutions& executions, const fw::CommandExecutionUUID& uuid,
                             std::string& responses)
{
    const std::optional<ExecutionState> state = executions.state(uuid.value());
    if (!state)
        return unknownUuid(uuid.value());
    switch (state->status) {
    case ExecutionStatus::Waiting:
    case ExecutionStatus::Running:
        return frameworkError(fw::FrameworkError::COMMAND_EXECUTION_NOT_FINISHED,
                              "the command execution " + uuid.value() +
                                  " has not finished; its _Info stream tells when it has");
    case ExecutionStatus::FinishedWithError:
        return state->error;
    case ExecutionStatus::FinishedSuccessfully:
        break;
    }
    responses = state->responses;
    return grpc::Status::OK;
}

}  // namespace gc6890::sila
