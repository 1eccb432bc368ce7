// A SiLA 2 client for the tests, written from the standard: grpc++ stubs over TLS that
// trust a given CA, the access token as metadata, SiLA errors told apart.
#pragma once

#include <grpcpp/grpcpp.h>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "AuthorizationService.pb.h"
#include "CancelController.grpc.pb.h"
#include "GasChromatographController.grpc.pb.h"
#include "LockController.grpc.pb.h"
#include "MethodProvider.grpc.pb.h"
#include "PauseController.grpc.pb.h"
#include "SequenceRunner.grpc.pb.h"
#include "SiLAService.grpc.pb.h"
#include "service/sila/sila_error.h"
#include "service/sila/sila_metadata.h"
#include "service/sila/sila_names.h"

namespace gc6890::sila::test {

// A channel to `address` ("127.0.0.1:PORT") that trusts only `caPem`.
inline std::shared_ptr<grpc::Channel> tlsChannel(const std::string& address,
                                                 const std::string& caPem)
{
    grpc::SslCredentialsOptions ssl;
    ssl.pem_root_certs = caPem;
    return grpc::CreateChannel(address, grpc::SslCredentials(ssl));
}

// A call's context: a deadline `seconds` away, and the access token when given.
inline std::unique_ptr<grpc::ClientContext> callContext(const std::string& token = "",
                                                        int seconds = 10)
{
    auto context = std::make_unique<grpc::ClientContext>();
    context->set_deadline(std::chrono::system_clock::now() + std::chrono::seconds(seconds));
    if (!token.empty()) {
        sila2::org::silastandard::core::authorizationservice::v1::Metadata_AccessToken metadata;
        metadata.mutable_accesstoken()->set_value(token);
        context->AddMetadata(metadataKey(kAccessTokenFqi), metadata.SerializeAsString());
    }
    return context;
}

// A call's context with the token and the lock's identifier.
inline std::unique_ptr<grpc::ClientContext> lockedContext(const std::string& token,
                                                          const std::string& identifier)
{
    auto context = callContext(token);
    sila2::org::silastandard::core::lockcontroller::v1::Metadata_LockIdentifier metadata;
    metadata.mutable_lockidentifier()->set_value(identifier);
    context->AddMetadata(metadataKey(kLockIdentifierFqi), metadata.SerializeAsString());
    return context;
}

// The error's identifier (the parameter's, the defined error's, or the framework error's
// type as a number; none for an undefined error) and its message.
inline std::pair<std::string, std::string> partsOf(const fw::SiLAError& error)
{
    switch (error.error_case()) {
    case fw::SiLAError::kValidationError:
        return {error.validationerror().parameter(), error.validationerror().message()};
    case fw::SiLAError::kDefinedExecutionError:
        return {error.definedexecutionerror().erroridentifier(),
                error.definedexecutionerror().message()};
    case fw::SiLAError::kFrameworkError:
        return {std::to_string(error.frameworkerror().errortype()),
                error.frameworkerror().message()};
    default:
        return {"", error.undefinedexecutionerror().message()};
    }
}

// The status is the SiLA error of this kind, with `identifier` when given.
inline ::testing::AssertionResult isSilaError(const grpc::Status& status,
                                              fw::SiLAError::ErrorCase kind,
                                              const std::string& identifier = "")
{
    const std::optional<fw::SiLAError> error = silaErrorOf(status);
    if (!error)
        return ::testing::AssertionFailure()
               << "no SiLA error: code " << status.error_code() << " " << status.error_message();
    if (error->error_case() != kind || (!identifier.empty() && partsOf(*error).first != identifier))
        return ::testing::AssertionFailure() << "another SiLA error: " << error->DebugString();
    return ::testing::AssertionSuccess() << error->DebugString();
}

// An execution UUID well formed but unknown to the server.
inline const std::string kUnknownExecution = "00000000-0000-4000-8000-000000000000";

// Every message of a server stream up to its end; how it ended in `ended` when asked.
template <typename Message>
std::vector<Message> readAll(grpc::ClientReader<Message>& reader, grpc::Status* ended = nullptr)
{
    std::vector<Message> all;
    Message message;
    while (reader.Read(&message))
        all.push_back(message);
    const grpc::Status status = reader.Finish();
    if (ended)
        *ended = status;
    return all;
}

// The calls the cases of several features make, each with the service's `token`.
inline grpc::Status lockServer(const std::shared_ptr<grpc::Channel>& channel,
                               const std::string& token, const std::string& identifier,
                               std::int64_t timeout = 600)
{
    namespace lc = sila2::org::silastandard::core::lockcontroller::v1;
    lc::LockServer_Parameters parameters;
    parameters.mutable_lockidentifier()->set_value(identifier);
    parameters.mutable_timeout()->set_value(timeout);
    lc::LockServer_Responses responses;
    return lc::LockController::NewStub(channel)->LockServer(callContext(token).get(), parameters,
                                                            &responses);
}
inline grpc::Status unlockServer(const std::shared_ptr<grpc::Channel>& channel,
                                 const std::string& token, const std::string& identifier)
{
    namespace lc = sila2::org::silastandard::core::lockcontroller::v1;
    lc::UnlockServer_Parameters parameters;
    parameters.mutable_lockidentifier()->set_value(identifier);
    lc::UnlockServer_Responses responses;
    return lc::LockController::NewStub(channel)->UnlockServer(callContext(token).get(), parameters,
                                                              &responses);
}
inline grpc::Status setServerName(const std::shared_ptr<grpc::Channel>& channel,
                                  const std::optional<std::string>& name)
{
    namespace svc = sila2::org::silastandard::core::silaservice::v1;
    svc::SetServerName_Parameters parameters;
    if (name)
        parameters.mutable_servername()->set_value(*name);
    svc::SetServerName_Responses responses;
    return svc::SiLAService::NewStub(channel)->SetServerName(callContext().get(), parameters,
                                                             &responses);
}
inline grpc::Status cancelCommand(const std::shared_ptr<grpc::Channel>& channel,
                                  const std::string& token, const std::string& uuid)
{
    namespace cc = sila2::org::silastandard::core::commands::cancelcontroller::v1;
    cc::CancelCommand_Parameters parameters;
    parameters.mutable_commandexecutionuuid()->mutable_uuid()->set_value(uuid);
    cc::CancelCommand_Responses responses;
    return cc::CancelController::NewStub(channel)->CancelCommand(callContext(token).get(),
                                                                 parameters, &responses);
}
// UploadMethod with `context`'s metadata.
inline grpc::Status uploadMethod(const std::shared_ptr<grpc::Channel>& channel,
                                 std::unique_ptr<grpc::ClientContext> context,
                                 const std::string& name, const std::string& content)
{
    namespace mp = sila2::io::gcsixeightninety::chromatography::methodprovider::v1;
    mp::UploadMethod_Parameters parameters;
    parameters.mutable_name()->set_value(name);
    parameters.mutable_content()->set_value(content);
    mp::UploadMethod_Responses responses;
    return mp::MethodProvider::NewStub(channel)->UploadMethod(context.get(), parameters,
                                                              &responses);
}

// The observable commands' start, with `context`'s metadata; the confirmation in `started`.
inline grpc::Status loadMethod(const std::shared_ptr<grpc::Channel>& channel,
                               std::unique_ptr<grpc::ClientContext> context,
                               const std::string& method, fw::CommandConfirmation& started)
{
    namespace gcc = sila2::io::gcsixeightninety::chromatography::gaschromatographcontroller::v1;
    gcc::LoadMethod_Parameters parameters;
    parameters.mutable_methodname()->set_value(method);
    return gcc::GasChromatographController::NewStub(channel)->LoadMethod(context.get(), parameters,
                                                                         &started);
}
inline grpc::Status runSequence(const std::shared_ptr<grpc::Channel>& channel,
                                std::unique_ptr<grpc::ClientContext> context,
                                const std::string& name, const std::string& content,
                                fw::CommandConfirmation& started)
{
    namespace sr = sila2::io::gcsixeightninety::chromatography::sequencerunner::v1;
    sr::RunSequence_Parameters parameters;
    parameters.mutable_name()->set_value(name);
    parameters.mutable_content()->set_value(content);
    return sr::SequenceRunner::NewStub(channel)->RunSequence(context.get(), parameters, &started);
}
// Pause (`pause`) or Resume of the execution `uuid`, with `context`'s metadata.
inline grpc::Status pauseOrResume(const std::shared_ptr<grpc::Channel>& channel,
                                  std::unique_ptr<grpc::ClientContext> context, bool pause,
                                  const std::string& uuid)
{
    namespace pc = sila2::org::silastandard::core::commands::pausecontroller::v1;
    const auto stub = pc::PauseController::NewStub(channel);
    if (pause) {
        pc::Pause_Parameters parameters;
        parameters.mutable_commandexecutionuuid()->mutable_uuid()->set_value(uuid);
        pc::Pause_Responses responses;
        return stub->Pause(context.get(), parameters, &responses);
    }
    pc::Resume_Parameters parameters;
    parameters.mutable_commandexecutionuuid()->mutable_uuid()->set_value(uuid);
    pc::Resume_Responses responses;
    return stub->Resume(context.get(), parameters, &responses);
}

inline std::string messageOf(const grpc::Status& status)
{
    const std::optional<fw::SiLAError> error = silaErrorOf(status);
    return error ? partsOf(*error).second : "";
}

}  // namespace gc6890::sila::test
