// org.silastandard/core/AuthorizationService/v1: tells clients which calls need the
// AccessToken metadata (AccessCheck checks it).
#pragma once

#include <string>
#include <vector>

#include "AuthorizationService.grpc.pb.h"
#include "service/sila/served_calls.h"

namespace gc6890::sila {

namespace auth = sila2::org::silastandard::core::authorizationservice::v1;

class AuthorizationFeature final : public auth::AuthorizationService::Service {
public:
    // `affectedCalls`: the fully qualified identifiers of every command and property that
    // needs the token, fixed while the server runs.
    explicit AuthorizationFeature(std::vector<std::string> affectedCalls)
        : affectedCalls_(std::move(affectedCalls))
    {}

    GC6890_SILA_CALL(auth, Get_FCPAffectedByMetadata_AccessToken)

private:
    std::vector<std::string> affectedCalls_;
};

}  // namespace gc6890::sila
