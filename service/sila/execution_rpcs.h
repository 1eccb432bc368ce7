// The calls every observable command has besides its start: _Info streams the execution's
// state, _Result answers its responses or its error. Both read the registry of executions.
#pragma once

#include <grpcpp/server_context.h>
#include <grpcpp/support/sync_stream.h>

#include <functional>
#include <string>

#include "service/sila/command_executions.h"
#include "service/sila/sila_error.h"

namespace gc6890::sila {

// The confirmation of a started execution: its UUID and how long it is kept.
fw::CommandConfirmation confirmationOf(const std::string& uuid, std::chrono::seconds lifetime);

// The execution's state now, then on each change, until it has finished (or the client
// cancels, or the server stops). INVALID_COMMAND_EXECUTION_UUID for an unknown UUID.
grpc::Status streamExecutionInfo(CommandExecutions& executions, grpc::ServerContext& context,
                                 const fw::CommandExecutionUUID& uuid,
                                 grpc::ServerWriter<fw::ExecutionInfo>& writer);

// Each intermediate response (serialized) as it comes, from the first, until the execution
// has finished; `send` writes one (false when the client is gone).
grpc::Status streamIntermediates(CommandExecutions& executions, grpc::ServerContext& context,
                                 const fw::CommandExecutionUUID& uuid,
                                 const std::function<bool(const std::string&)>& send);

template <class Response>
grpc::Status streamIntermediatesTo(CommandExecutions& executions, grpc::ServerContext& context,
                                   const fw::CommandExecutionUUID& uuid,
                                   grpc::ServerWriter<Response>& writer)
{
    return streamIntermediates(executions, context, uuid, [&writer](const std::string& bytes) {
        Response response;
        return response.ParseFromString(bytes) && writer.Write(response);
    });
}

// The execution's serialized responses, or the status to end _Result with: its error,
// COMMAND_EXECUTION_NOT_FINISHED or INVALID_COMMAND_EXECUTION_UUID.
grpc::Status executionResult(CommandExecutions& executions, const fw::CommandExecutionUUID& uuid,
                             std::string& responses);

template <class Responses>
grpc::Status resultOf(CommandExecutions& executions, const fw::CommandExecutionUUID& uuid,
                      Responses& out)
{
    std::string bytes;
    grpc::Status status = executionResult(executions, uuid, bytes);
    if (status.ok() && !out.ParseFromString(bytes))
        return undefinedError("the command's responses could not be read back");
    return status;
}

}  // namespace gc6890::sila
