#include "service/sila/authorization_feature.h"

#include "service/sila/sila_error.h"
#include "service/sila/sila_text.h"

namespace gc6890::sila {

grpc::Status AuthorizationFeature::Get_FCPAffectedByMetadata_AccessToken(
    grpc::ServerContext*, const auth::Get_FCPAffectedByMetadata_AccessToken_Parameters*,
    auth::Get_FCPAffectedByMetadata_AccessToken_Responses* response)
{
    return guarded([&] {
        setAffectedCalls(response, affectedCalls_);
        return grpc::Status::OK;
    });
}

}  // namespace gc6890::sila
