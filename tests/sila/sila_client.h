// A SiLA 2 client for the tests, written from the standard: grpc++ stubs over TLS that
// trust a given CA, the access token as metadata, SiLA errors told apart.
#pragma once

#include <grpcpp/grpcpp.h>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "AuthorizationService.pb.h"
#include "LockController.pb.h"
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

// A call's context: a deadline, and the access token when given.
inline std::unique_ptr<grpc::ClientContext> callContext(const std::string& token = "")
{
    auto context = std::make_unique<grpc::ClientContext>();
    context->set_deadline(std::chrono::system_clock::now() + std::chrono::seconds(10));
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

// The status is the SiLA error of this kind; `identifier` is the parameter's or the
// defined error's identifier, or the framework error's type as a number.
inline ::testing::AssertionResult isSilaError(const grpc::Status& status,
                                              fw::SiLAError::ErrorCase kind,
                                              const std::string& identifier = "")
{
    const std::optional<fw::SiLAError> error = silaErrorOf(status);
    if (!error)
        return ::testing::AssertionFailure()
               << "no SiLA error: code " << status.error_code() << " " << status.error_message();
    std::string got;
    switch (error->error_case()) {
    case fw::SiLAError::kValidationError:
        got = error->validationerror().parameter();
        break;
    case fw::SiLAError::kDefinedExecutionError:
        got = error->definedexecutionerror().erroridentifier();
        break;
    case fw::SiLAError::kFrameworkError:
        got = std::to_string(error->frameworkerror().errortype());
        break;
    default:
        break;
    }
    if (error->error_case() != kind || (!identifier.empty() && got != identifier))
        return ::testing::AssertionFailure() << "another SiLA error: " << error->DebugString();
    return ::testing::AssertionSuccess() << error->DebugString();
}

inline std::string messageOf(const grpc::Status& status)
{
    const std::optional<fw::SiLAError> error = silaErrorOf(status);
    if (!error)
        return "";
    switch (error->error_case()) {
    case fw::SiLAError::kValidationError:
        return error->validationerror().message();
    case fw::SiLAError::kDefinedExecutionError:
        return error->definedexecutionerror().message();
    case fw::SiLAError::kUndefinedExecutionError:
        return error->undefinedexecutionerror().message();
    default:
        return error->frameworkerror().message();
    }
}

}  // namespace gc6890::sila::test
