#include "service/sila/access_check.h"

#include <iostream>

#include "service/safe_text.h"
#include "service/service_token.h"
#include "service/sila/sila_error.h"
#include "service/sila/sila_metadata.h"
#include "service/sila/sila_names.h"

namespace gc6890::sila {

grpc::Status AccessCheck::check(const grpc::ServerContext& context, const std::string& call) const
{
    const std::optional<std::string> bytes =
        metadataBytes(context.client_metadata(), kAccessTokenFqi);
    const std::optional<std::string> token = bytes ? accessTokenOf(*bytes) : std::nullopt;
    if (token && sameToken(*token, token_))
        return grpc::Status::OK;
    // Counted and logged as the HTTP door counts and logs its refusals.
    ++state_.metrics.unauthorized;
    const std::string what =
        "SiLA " + call + " from " + context.peer() + (token ? ": wrong token" : ": no token");
    std::cerr << "gc6890 serve: refused " << loggable(what) << '\n';
    state_.events.log(1, "service", "refused " + what);
    if (!token)
        return frameworkError(fw::FrameworkError::INVALID_METADATA,
                              "this call needs the AccessToken metadata (" +
                                  metadataKey(kAccessTokenFqi) +
                                  ": a serialized Metadata_AccessToken holding the service's "
                                  "token; gc6890 serve --show-token prints it)");
    return definedError(kInvalidAccessTokenFqi,
                        "the access token is not the service's token; gc6890 serve --show-token "
                        "prints it on the service's machine");
}

}  // namespace gc6890::sila
