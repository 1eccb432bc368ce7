// The calls every observable command has besides its start: _Info streams the execution's
// state, _Intermediate (where the command has them) its intermediate responses, _Result
// answers its responses or its error. All read the registry of executions.
#pragma once

#include <grpcpp/server_context.h>
#include <grpcpp/support/sync_stream.h>

#include <functional>
#include <string>

#include "service/sila/command_executions.h"
#include "service/sila/sila_error.h"

namespace gc6890::sila {

// A new execution's UUID; throws SilaFailure (the standard's COMMAND_EXECUTION_NOT_ACCEPTED)
// while too many are under way.
std::string startExecution(CommandExecutions& executions);

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

// Inside a feature's class, which holds its registry as `executions_`: the observable
// `Command`'s _Info and _Result (`ns`: the feature's generated namespace), the same for
// every command.
#define GC6890_SILA_EXECUTION_CALLS(ns, Command)                                                   \
    grpc::Status Command##_Info(grpc::ServerContext* context,                                      \
                                const fw::CommandExecutionUUID* request,                           \
                                grpc::ServerWriter<fw::ExecutionInfo>* writer) override            \
    {                                                                                              \
        return guarded(                                                                            \
            [&] { return streamExecutionInfo(executions_, *context, *request, *writer); });        \
    }                                                                                              \
    grpc::Status Command##_Result(grpc::ServerContext*, const fw::CommandExecutionUUID* request,   \
                                  ns::Command##_Responses* response) override                      \
    {                                                                                              \
        return guarded([&] { return resultOf(executions_, *request, *response); });                \
    }

// The same for the _Intermediate of a command that has intermediate responses.
#define GC6890_SILA_INTERMEDIATE_CALL(ns, Command)                                                 \
    grpc::Status Command##_Intermediate(                                                           \
        grpc::ServerContext* context, const fw::CommandExecutionUUID* request,                     \
        grpc::ServerWriter<ns::Command##_IntermediateResponses>* writer) override                  \
    {                                                                                              \
        return guarded(                                                                            \
            [&] { return streamIntermediatesTo(executions_, *context, *request, *writer); });      \
    }
