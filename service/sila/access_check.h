// The AccessToken metadata (org.silastandard/core/AuthorizationService/v1): every call that
// changes the instrument carries the service's token, the same token the HTTP API takes as
// its bearer token. Checked before the parameters, as the standard orders it.
#pragma once

#include <grpcpp/server_context.h>

#include <string>

#include "service/service_state.h"

namespace gc6890::sila {

class AccessCheck {
public:
    AccessCheck(ServiceState& state, std::string token) : state_(state), token_(std::move(token)) {}

    // OK when the call carries the token; else the standard's INVALID_METADATA framework
    // error (no token, or not a Metadata_AccessToken) or the InvalidAccessToken error
    // (another token). `call` names the call in the refusal's log line.
    grpc::Status check(const grpc::ServerContext& context, const std::string& call) const;

private:
    ServiceState& state_;
    std::string token_;
};

}  // namespace gc6890::sila
