#include "service/sila/cancel_controller_feature.h"

#include "service/sila/sila_error.h"
#include "service/sila/sila_home.h"
#include "service/sila/sila_names.h"

namespace gc6890::sila {

grpc::Status CancelControllerFeature::CancelCommand(Context* context,
                                                    const cc::CancelCommand_Parameters* request,
                                                    cc::CancelCommand_Responses*)
{
    // A cancel stops: the stop job it may ask for is this line's, not one of its own.
    nlohmann::json params = nlohmann::json::object();
    return access_.change(*context, "CancelCommand", Action::Stop, params, [&] {
        const std::string parameter =
            parameterOf(kCancelControllerFqi, "CancelCommand", "CommandExecutionUUID");
        if (!request->has_commandexecutionuuid() || !request->commandexecutionuuid().has_uuid())
            return validationError(parameter, "CommandExecutionUUID is missing");
        const std::string uuid = request->commandexecutionuuid().uuid().value();
        if (!isUuid(uuid))
            return validationError(parameter, "\"" + uuid.substr(0, 64) +
                                                  "\" is not a UUID in lower case (36 characters)");
        params["execution"] = uuid;
        grpc::Status answer;
        std::string refusal;
        switch (executions_.cancel(uuid, answer, refusal)) {
        case CancelOutcome::Cancelled:
            return answer;
        case CancelOutcome::NotSupported:
            return definedError(kCancelControllerFqi, "OperationNotSupported", refusal);
        case CancelOutcome::Finished:
            return definedError(kCancelControllerFqi, "InvalidCommandExecutionUUID",
                                "command execution " + uuid +
                                    " has finished already; its _Result tells how it ended");
        case CancelOutcome::Unknown:
            break;
        }
        return definedError(kCancelControllerFqi, "InvalidCommandExecutionUUID",
                            "no command execution " + uuid +
                                " is known (never started, or forgotten an hour after it ended)");
    });
}

grpc::Status CancelControllerFeature::CancelAll(Context* context, const cc::CancelAll_Parameters*,
                                                cc::CancelAll_Responses*)
{
    nlohmann::json params = nlohmann::json::object();
    return access_.change(*context, "CancelAll", Action::Stop, params, [&] {
        // Those that cannot be cancelled (a load) run to their end; the first
        // failure of a cancel is the answer, once every other has been tried.
        grpc::Status first;
        nlohmann::json cancelled = nlohmann::json::array();
        for (const std::string& uuid : executions_.underWay()) {
            grpc::Status answer;
            std::string refusal;
            if (executions_.cancel(uuid, answer, refusal) == CancelOutcome::Cancelled) {
                cancelled.push_back(uuid);
                if (first.ok())
                    first = answer;
            }
        }
        params["executions"] = cancelled;
        return first;
    });
}

}  // namespace gc6890::sila
