#include "service/sila/sila_metadata.h"

#include <cctype>

#include "AuthorizationService.pb.h"
#include "LockController.pb.h"

namespace gc6890::sila {

std::string metadataKey(std::string_view metadataFqi)
{
    std::string key = "sila-";
    for (const char c : metadataFqi)
        key += c == '/' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return key + "-bin";
}

bool carriesSilaMetadata(const ClientMetadata& metadata)
{
    for (const auto& [key, value] : metadata) {
        const std::string_view name(key.data(), key.size());
        if (name.starts_with("sila-") && name.ends_with("-bin"))
            return true;
    }
    return false;
}

std::optional<std::string> metadataBytes(const ClientMetadata& metadata,
                                         std::string_view metadataFqi)
{
    // gRPC gives header names in lower case, as HTTP/2 sends them.
    const auto found = metadata.find(metadataKey(metadataFqi));
    if (found == metadata.end())
        return std::nullopt;
    return std::string(found->second.data(), found->second.size());
}

std::optional<std::string> accessTokenOf(std::string_view bytes)
{
    sila2::org::silastandard::core::authorizationservice::v1::Metadata_AccessToken message;
    if (!message.ParseFromArray(bytes.data(), static_cast<int>(bytes.size())) ||
        !message.has_accesstoken())
        return std::nullopt;
    return message.accesstoken().value();
}

std::optional<std::string> lockIdentifierOf(std::string_view bytes)
{
    sila2::org::silastandard::core::lockcontroller::v1::Metadata_LockIdentifier message;
    if (!message.ParseFromArray(bytes.data(), static_cast<int>(bytes.size())) ||
        !message.has_lockidentifier())
        return std::nullopt;
    return message.lockidentifier().value();
}

}  // namespace gc6890::sila
