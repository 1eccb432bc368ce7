// SiLA errors on the wire: every one ends the call with gRPC status ABORTED and, as the
// status message, the Base64 of the serialized SiLAError. Other status codes belong to the
// gRPC library (connection failures, deadlines).
#pragma once

#include <grpcpp/support/status.h>

#include <exception>
#include <optional>
#include <string>
#include <string_view>

#include "SiLAFramework.pb.h"

namespace gc6890::sila {

namespace fw = sila2::org::silastandard;
using FrameworkErrorType = fw::FrameworkError::ErrorType;

// A parameter missing or out of its constraints: `parameter` is its fully qualified
// identifier.
grpc::Status validationError(std::string_view parameter, std::string_view message);
// A failure the feature definition declares: `error` is its fully qualified identifier.
grpc::Status definedError(std::string_view error, std::string_view message);
// The same by the feature's identifier and the error's own: "<feature>/DefinedExecutionError/
// <error>".
grpc::Status definedError(std::string_view feature, std::string_view error,
                          std::string_view message);
// Any other failure while executing.
grpc::Status undefinedError(std::string_view message);
grpc::Status frameworkError(FrameworkErrorType type, std::string_view message);

// The SiLA error a status carries; nothing when the status is not one (another code, or a
// message that is not the Base64 of a SiLAError).
std::optional<fw::SiLAError> silaErrorOf(const grpc::Status& status);

// Base64 in the standard alphabet with "=" padding and no line breaks, and back (nothing
// for text that is not such Base64).
std::string base64(std::string_view bytes);
std::optional<std::string> fromBase64(std::string_view text);

// Thrown inside a feature's code to end the call with this status; `guarded` catches it.
struct SilaFailure {
    grpc::Status status;
};

// Runs a gRPC method's body so that no exception leaves it: a SilaFailure ends the call
// with its status, anything else with an undefined execution error.
template <class Body>
grpc::Status guarded(Body&& body) noexcept
{
    try {
        try {
            return body();
        } catch (const SilaFailure& failure) {
            return failure.status;
        } catch (const std::exception& error) {
            return undefinedError(std::string("the server failed: ") + error.what());
        } catch (...) {
            return undefinedError("the server failed");
        }
    } catch (...) {
        // Making the error itself failed (no memory): a status that needs no allocation.
        return grpc::Status(grpc::StatusCode::INTERNAL, "");
    }
}

}  // namespace gc6890::sila
