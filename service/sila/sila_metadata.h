// SiLA metadata: binary gRPC request headers named after the metadata's fully qualified
// identifier ("sila-<fqi in lower case, '/' as '-'>-bin"), each holding a serialized
// Metadata_<Identifier> message. gRPC decodes the "-bin" Base64 itself: the values here are
// the message's bytes.
#pragma once

#include <grpcpp/support/string_ref.h>

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace gc6890::sila {

using ClientMetadata = std::multimap<grpc::string_ref, grpc::string_ref>;

// "org.silastandard/core/AuthorizationService/v1/Metadata/AccessToken" ->
// "sila-org.silastandard-core-authorizationservice-v1-metadata-accesstoken-bin"
std::string metadataKey(std::string_view metadataFqi);

// Whether any SiLA metadata ("sila-...-bin") came with the call.
bool carriesSilaMetadata(const ClientMetadata& metadata);

// The bytes of the metadata `metadataFqi`; nothing when the call did not send it.
std::optional<std::string> metadataBytes(const ClientMetadata& metadata,
                                         std::string_view metadataFqi);

// The token a serialized Metadata_AccessToken holds; nothing when the bytes are no such
// message or it holds no token.
std::optional<std::string> accessTokenOf(std::string_view bytes);
// The identifier a serialized Metadata_LockIdentifier holds; nothing as above.
std::optional<std::string> lockIdentifierOf(std::string_view bytes);

}  // namespace gc6890::sila
