#include "service/sila/pause_controller_feature.h"

#include <nlohmann/json.hpp>

#include "service/sila/sila_error.h"
#include "service/sila/sila_home.h"
#include "service/sila/sila_names.h"

namespace gc6890::sila {

grpc::Status PauseControllerFeature::control(Context& context, SequenceExecutions::Control what,
                                             const std::string& uuid)
{
    // A pause is taken whoever holds the lock, as over HTTP; a resume injects again.
    const bool pause = what == SequenceExecutions::Control::Pause;
    const char* command = pause ? "Pause" : "Resume";
    // As the HTTP door's pause and resume: the sequence by its id.
    nlohmann::json params = nlohmann::json::object();
    if (isUuid(uuid))
        params["execution"] = uuid;
    if (const std::optional<std::string> sequence = sequences_.sequenceOf(uuid))
        params["sequence"] = *sequence;
    const auto body = [&] {
        // An absent parameter reads as "", which is no UUID either.
        if (!isUuid(uuid))
            return validationError(
                parameterOf(kPauseControllerFqi, command, "CommandExecutionUUID"),
                "CommandExecutionUUID must be a UUID in lower case");
        std::string error;
        switch (sequences_.control(uuid, what, error)) {
        case SequenceExecutions::Outcome::Done:
            return grpc::Status::OK;
        case SequenceExecutions::Outcome::UnknownExecution:
            return definedError(kPauseControllerFqi, "InvalidCommandExecutionUUID",
                                "no command execution " + uuid + " is known here");
        case SequenceExecutions::Outcome::NotASequence:
            return definedError(kPauseControllerFqi, "OperationNotSupported",
                                "only a RunSequence execution can be paused and resumed");
        case SequenceExecutions::Outcome::Refused:
            return definedError(kPauseControllerFqi, "InvalidCommandState", error);
        case SequenceExecutions::Outcome::Busy:
            break;
        }
        return undefinedError("the instrument thread is busy; try again");
    };
    return access_.change(context, command, Action::RunSequence, params, body,
                          pause ? AccessCheck::Lock::Ignored : AccessCheck::Lock::Affects,
                          pause ? "-pause" : "-resume");
}

grpc::Status PauseControllerFeature::Pause(Context* context, const pc::Pause_Parameters* request,
                                           pc::Pause_Responses*)
{
    const std::string& uuid = request->commandexecutionuuid().uuid().value();
    return guarded([&] { return control(*context, SequenceExecutions::Control::Pause, uuid); });
}

grpc::Status PauseControllerFeature::Resume(Context* context, const pc::Resume_Parameters* request,
                                            pc::Resume_Responses*)
{
    const std::string& uuid = request->commandexecutionuuid().uuid().value();
    return guarded([&] { return control(*context, SequenceExecutions::Control::Resume, uuid); });
}

grpc::Status PauseControllerFeature::Get_Paused(Context* context, const pc::Get_Paused_Parameters*,
                                                pc::Get_Paused_Responses* response)
{
    return access_.read(*context, "Get_Paused", [&] {
        // The sequence under way, from whichever door it came, paused.
        const std::string text = state_.sequences.latest().second;
        response->mutable_paused()->set_value(
            !state_.sequences.active().empty() &&
            nlohmann::json::parse(text).value("state", std::string()) == "paused");
    });
}

}  // namespace gc6890::sila
