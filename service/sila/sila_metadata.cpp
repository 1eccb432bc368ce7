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

namespace {

// The string a metadata message carries; none when the bytes are no such message or it
// lacks the string.
template <class Message>
std::optional<std::string> textOf(std::string_view bytes, bool (Message::*has)() const,
                                  const sila2::org::silastandard::String& (Message::*get)() const)
{
    Message message;
    if (!message.ParseFromArray(bytes.data(), static_cast<int>(bytes.size())) || !(message.*has)())
        return std::nullopt;
    return (message.*get)().value();
}

}  // namespace

std::optional<std::string> accessTokenOf(std::string_view bytes)
{
    using Message = sila2::org::silastandard::core::authorizationservice::v1::Metadata_AccessToken;
    return textOf(bytes, &Message::has_accesstoken, &Message::accesstoken);
}

std::optional<std::string> lockIdentifierOf(std::string_view bytes)
{
    using Message = sila2::org::silastandard::core::lockcontroller::v1::Metadata_LockIdentifier;
    return textOf(bytes, &Message::has_lockidentifier, &Message::lockidentifier);
}

}  // namespace gc6890::sila
