#include "service/sila/sila_error.h"

#include <openssl/evp.h>

#include "service/safe_text.h"
#include "service/sila/sila_names.h"

namespace gc6890::sila {

namespace {

grpc::Status aborted(const fw::SiLAError& error)
{
    return grpc::Status(grpc::StatusCode::ABORTED, base64(error.SerializeAsString()));
}

}  // namespace

grpc::Status validationError(std::string_view parameter, std::string_view message)
{
    fw::SiLAError error;
    error.mutable_validationerror()->set_parameter(validUtf8(parameter));
    error.mutable_validationerror()->set_message(validUtf8(message));
    return aborted(error);
}

grpc::Status definedError(std::string_view identifier, std::string_view message)
{
    fw::SiLAError error;
    error.mutable_definedexecutionerror()->set_erroridentifier(validUtf8(identifier));
    error.mutable_definedexecutionerror()->set_message(validUtf8(message));
    return aborted(error);
}

grpc::Status definedError(std::string_view feature, std::string_view error,
                          std::string_view message)
{
    return definedError(definedErrorOf(feature, error), message);
}

grpc::Status undefinedError(std::string_view message)
{
    fw::SiLAError error;
    error.mutable_undefinedexecutionerror()->set_message(validUtf8(message));
    return aborted(error);
}

grpc::Status frameworkError(FrameworkErrorType type, std::string_view message)
{
    fw::SiLAError error;
    error.mutable_frameworkerror()->set_errortype(type);
    error.mutable_frameworkerror()->set_message(validUtf8(message));
    return aborted(error);
}

std::optional<fw::SiLAError> silaErrorOf(const grpc::Status& status)
{
    if (status.error_code() != grpc::StatusCode::ABORTED)
        return std::nullopt;
    const std::optional<std::string> bytes = fromBase64(status.error_message());
    fw::SiLAError error;
    if (!bytes || !error.ParseFromString(*bytes) ||
        error.error_case() == fw::SiLAError::ERROR_NOT_SET)
        return std::nullopt;
    return error;
}

std::string base64(std::string_view bytes)
{
    std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()),
                                  reinterpret_cast<const unsigned char*>(bytes.data()),
                                  static_cast<int>(bytes.size()));
    text.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return text;
}

std::optional<std::string> fromBase64(std::string_view text)
{
    if (text.size() % 4 != 0)
        return std::nullopt;
    // EVP_DecodeBlock skips blanks and counts padding as zero bytes: refuse the one, drop
    // the other.
    if (text.find_first_of(" \t\r\n") != std::string_view::npos)
        return std::nullopt;
    std::string bytes(text.size() / 4 * 3, '\0');
    const int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(bytes.data()),
                                  reinterpret_cast<const unsigned char*>(text.data()),
                                  static_cast<int>(text.size()));
    if (n < 0)
        return std::nullopt;
    std::size_t size = static_cast<std::size_t>(n);
    for (std::size_t i = text.size(); i > 0 && text[i - 1] == '=' && size > 0; --i)
        --size;
    bytes.resize(size);
    return bytes;
}

}  // namespace gc6890::sila
