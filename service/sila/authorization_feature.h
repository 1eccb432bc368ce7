// org.silastandard/core/AuthorizationService/v1: tells clients which calls need the
// AccessToken metadata (AccessCheck checks it).
#pragma once

#include <string>
#include <vector>

#include "AuthorizationService.grpc.pb.h"

namespace gc6890::sila {

class AuthorizationFeature final : public sila2::org::silastandard::core::authorizationservice::v1::
                                       AuthorizationService::Service {
public:
    // `affectedCalls`: the fully qualified identifiers of every command and property that
    // needs the token, fixed while the server runs.
    explicit AuthorizationFeature(std::vector<std::string> affectedCalls)
        : affectedCalls_(std::move(affectedCalls))
    {}

    grpc::Status Get_FCPAffectedByMetadata_AccessToken(
        grpc::ServerContext* context,
        const sila2::org::silastandard::core::authorizationservice::v1::
            Get_FCPAffectedByMetadata_AccessToken_Parameters* request,
        sila2::org::silastandard::core::authorizationservice::v1::
            Get_FCPAffectedByMetadata_AccessToken_Responses* response) override;

private:
    std::vector<std::string> affectedCalls_;
};

}  // namespace gc6890::sila
