#include "service/sila/sequence_runner_feature.h"

#include <nlohmann/json.hpp>

#include "audit/sha256.h"
#include "service/instrument_thread.h"
#include "service/sequence_start.h"
#include "service/sila/execution_rpcs.h"
#include "service/sila/property_feed.h"
#include "service/sila/sila_error.h"
#include "service/sila/sila_home.h"
#include "service/sila/sila_names.h"
#include "service/sila/sila_text.h"

namespace gc6890::sila {

namespace {

constexpr std::size_t kMaxNameLength = 200;

// What the file is called in errors and the journal: a plain name, no folder.
bool plainFileName(const std::string& name)
{
    if (name.empty() || name.size() > kMaxNameLength)
        return false;
    for (const char c : name)
        if (c == '/' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return false;
    return true;
}

}  // namespace

grpc::Status SequenceRunnerFeature::RunSequence(Context* context,
                                                const sr::RunSequence_Parameters* request,
                                                fw::CommandConfirmation* response)
{
    // As over HTTP: the file by name and the SHA-256 of its content, the sequence made.
    nlohmann::json params = nlohmann::json::object();
    return access_.change(
        *context, "RunSequence", Action::RunSequence, params,
        [&] {
            auto parameter = [](const char* name) {
                return parameterOf(kSequenceRunnerFeature, "RunSequence", name);
            };
            if (!request->has_name() || !plainFileName(request->name().value()))
                return validationError(parameter("Name"),
                                       "Name must be a file name of 1 to 200 characters, without a "
                                       "folder or control characters (tray.toml)");
            if (!request->has_content())
                return validationError(parameter("Content"), "Content is missing");
            const std::string& file = request->name().value();
            const std::string& content = request->content().value();
            params = {{"file", file}, {"sha256", sha256Hex(content)}};
            Sequence sequence;
            SequenceFileError fileError;
            if (!checkStoredSequence(content, file, methods_, sequence, fileError))
                return validationError(parameter("Content"), fileError.text());
            const std::string uuid = startExecution(executions_);
            SequenceStart start;
            const bool ran = instrument_.runTask(
                [&] { start = startSequence(instrument_, state_, file, content, sequence, uuid); });
            if (!ran || !start.started) {
                executions_.discard(uuid);
                if (!ran)
                    return frameworkError(fw::FrameworkError::COMMAND_EXECUTION_NOT_ACCEPTED,
                                          "the instrument thread is busy; try again");
                if (!start.conflict.empty())
                    return frameworkError(fw::FrameworkError::COMMAND_EXECUTION_NOT_ACCEPTED,
                                          "sequence refused: " + start.conflict);
                return undefinedError("the sequence cannot start: " + start.error);
            }
            sequences_.started(uuid, start.id);
            params["sequence"] = start.id;
            params["execution"] = uuid;
            *response = confirmationOf(uuid, executions_.lifetime());
            return grpc::Status::OK;
        },
        AccessCheck::Lock::Affects, "-start");
}

grpc::Status SequenceRunnerFeature::SkipPausedRow(Context* context,
                                                  const sr::SkipPausedRow_Parameters* request,
                                                  sr::SkipPausedRow_Responses*)
{
    // A skipped row is a resume, as the HTTP door's resume with skip_row.
    nlohmann::json params = {{"skip_row", true}};
    return access_.change(
        *context, "SkipPausedRow", Action::RunSequence, params,
        [&] {
            const std::string parameter =
                parameterOf(kSequenceRunnerFeature, "SkipPausedRow", "CommandExecutionUUID");
            const std::string& uuid = request->commandexecutionuuid().value();
            if (!isUuid(uuid))
                return validationError(parameter,
                                       "CommandExecutionUUID must be a UUID in lower case");
            params["execution"] = uuid;
            if (const std::optional<std::string> sequence = sequences_.sequenceOf(uuid))
                params["sequence"] = *sequence;
            std::string error;
            switch (sequences_.control(uuid, SequenceExecutions::Control::SkipRow, error)) {
            case SequenceExecutions::Outcome::Done:
                return grpc::Status::OK;
            case SequenceExecutions::Outcome::UnknownExecution:
            case SequenceExecutions::Outcome::NotASequence:
                return validationError(parameter,
                                       "no RunSequence execution " + uuid + " is known here");
            case SequenceExecutions::Outcome::Refused:
                return definedError(kSequenceRunnerFeature, "SequenceNotPaused", error);
            case SequenceExecutions::Outcome::Busy:
                break;
            }
            return undefinedError("the instrument thread is busy; try again");
        },
        AccessCheck::Lock::Affects, "-resume");
}

grpc::Status SequenceRunnerFeature::Subscribe_SequenceState(
    Context* context, const sr::Subscribe_SequenceState_Parameters*,
    grpc::ServerWriter<sr::Subscribe_SequenceState_Responses>* writer)
{
    return guarded([&] {
        const auto allowed = [&] {
            return access_.check(*context, "Subscribe_SequenceState", Action::Read);
        };
        if (grpc::Status denied = allowed(); !denied.ok())
            return denied;
        return feedChanges(
            state_, *context, stopping_, allowed,
            [this] {
                const auto [id, text] = state_.sequences.latest();
                sr::Subscribe_SequenceState_Responses response;
                response.mutable_sequencestate()->set_value(
                    id.empty() ? "none"
                               : nlohmann::json::parse(text).value("state", std::string("none")));
                return response.SerializeAsString();
            },
            [writer](const std::string& bytes) {
                sr::Subscribe_SequenceState_Responses response;
                return response.ParseFromString(bytes) && writer->Write(response);
            });
    });
}

}  // namespace gc6890::sila
