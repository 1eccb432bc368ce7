// The names our SiLA 2 features carry in every fully qualified identifier and gRPC path.
// The standard allows only lower-case letters and dots in an originator or a category, so
// the project's name is spelled in letters, as a reversed domain. Chosen once: a change
// breaks every client that was written against us.
#pragma once

#include <string>
#include <string_view>

namespace gc6890::sila {

inline constexpr std::string_view kOriginator = "io.gcsixeightninety";
inline constexpr std::string_view kCategory = "chromatography";

// The standard's features we serve, as the standard names them.
inline constexpr std::string_view kSilaServiceFqi = "org.silastandard/core/SiLAService/v1";
inline constexpr std::string_view kAuthorizationFqi =
    "org.silastandard/core/AuthorizationService/v1";
inline constexpr std::string_view kLockControllerFqi = "org.silastandard/core/LockController/v1";
inline constexpr std::string_view kCancelControllerFqi =
    "org.silastandard/core.commands/CancelController/v1";
inline constexpr std::string_view kPauseControllerFqi =
    "org.silastandard/core.commands/PauseController/v1";

// "io.gcsixeightninety/chromatography/<feature>/v<major>"
inline std::string ourFeature(std::string_view identifier, int major = 1)
{
    return std::string(kOriginator) + "/" + std::string(kCategory) + "/" + std::string(identifier) +
           "/v" + std::to_string(major);
}

// Our features' identifiers, as the strings the names below them are built from.
inline const std::string kGcControllerFeature = ourFeature("GasChromatographController");
inline const std::string kMethodProviderFeature = ourFeature("MethodProvider");
inline const std::string kSequenceRunnerFeature = ourFeature("SequenceRunner");

// The identifiers below a feature: "<feature>/Command/<id>", ".../Parameter/<id>", ...
inline std::string commandOf(std::string_view feature, std::string_view command)
{
    return std::string(feature) + "/Command/" + std::string(command);
}
inline std::string parameterOf(std::string_view feature, std::string_view command,
                               std::string_view parameter)
{
    return commandOf(feature, command) + "/Parameter/" + std::string(parameter);
}
inline std::string propertyOf(std::string_view feature, std::string_view property)
{
    return std::string(feature) + "/Property/" + std::string(property);
}
inline std::string definedErrorOf(std::string_view feature, std::string_view error)
{
    return std::string(feature) + "/DefinedExecutionError/" + std::string(error);
}
inline std::string metadataOf(std::string_view feature, std::string_view metadata)
{
    return std::string(feature) + "/Metadata/" + std::string(metadata);
}

// The standard's metadata we take and the errors we answer with.
inline const std::string kAccessTokenFqi = metadataOf(kAuthorizationFqi, "AccessToken");
inline const std::string kLockIdentifierFqi = metadataOf(kLockControllerFqi, "LockIdentifier");
inline const std::string kInvalidAccessTokenFqi =
    definedErrorOf(kAuthorizationFqi, "InvalidAccessToken");
// Ours, beside the standard's error: a valid token whose role does not allow the call.
inline const std::string kPermissionDeniedFqi =
    definedErrorOf(kAuthorizationFqi, "PermissionDenied");

}  // namespace gc6890::sila
