#include "service/sila/method_provider_feature.h"

#include "service/sila/lock_check.h"
#include "service/sila/sila_error.h"
#include "service/sila/sila_names.h"
#include "service/sila/sila_text.h"

namespace gc6890::sila {

namespace {

// The HTTP API's bound on a request body: a method file is far smaller.
constexpr std::size_t kMaxMethodBytes = 1 << 20;

// The plain name a Name parameter gives, or a validation error naming it.
std::string methodName(const std::string& command, bool present, const std::string& typed)
{
    grpc::Status invalid;
    const std::string name = methodNameParameter(
        parameterOf(kMethodProviderFeature, command, "Name"), present, typed, invalid);
    if (name.empty())
        throw SilaFailure{invalid};
    return name;
}

}  // namespace

std::string methodNameParameter(const std::string& parameter, bool present,
                                const std::string& typed, grpc::Status& invalid)
{
    // The parameter's own identifier, its last part, is what a user typed it as.
    const std::string label = parameter.substr(parameter.rfind('/') + 1);
    if (!present) {
        invalid = validationError(parameter, label + " is missing");
        return {};
    }
    std::string why;
    const std::string name = plainMethodName(typed, why);
    if (name.empty())
        invalid = validationError(parameter, "\"" + typed + "\": " + why);
    return name;
}

grpc::Status MethodProviderFeature::UploadMethod(Context* context,
                                                 const mp::UploadMethod_Parameters* request,
                                                 mp::UploadMethod_Responses* response)
{
    // The line names the uploading account and the content's SHA-256, as the HTTP door's
    // does, whatever the upload's end.
    nlohmann::json params = nlohmann::json::object();
    return access_.change(*context, "UploadMethod", Action::UploadMethod, params,
                          [&] { return store(*context, *request, params, *response); });
}

grpc::Status MethodProviderFeature::store(Context& context,
                                          const mp::UploadMethod_Parameters& request,
                                          nlohmann::json& params,
                                          mp::UploadMethod_Responses& response)
{
    std::string lockIdentifier;
    if (grpc::Status locked = checkLock(state_, context, lockIdentifier); !locked.ok())
        return locked;
    const std::string name = methodName("UploadMethod", request.has_name(), request.name().value());
    params["method"] = name;
    const std::string parameter = parameterOf(kMethodProviderFeature, "UploadMethod", "Content");
    if (!request.has_content())
        return validationError(parameter, "Content is missing");
    const std::string& text = request.content().value();
    params = methodAuditParams(name, text);
    if (text.size() > kMaxMethodBytes)
        return validationError(parameter, "a method file has at most 1 MiB");
    // The check the HTTP API makes: the file read as the library reads it.
    const MethodCheck check = checkMethodText(text, name + ".toml");
    if (!check.ok)
        return validationError(parameter, check.error);
    std::string error;
    const std::optional<Caller> caller = access_.caller(context);
    if (!methods_.store(name, text, caller ? caller->name : "", error))
        return undefinedError(error);
    response.mutable_runlength()->set_value(check.runLengthMin);
    return grpc::Status::OK;
}

grpc::Status MethodProviderFeature::GetMethod(Context* context,
                                              const mp::GetMethod_Parameters* request,
                                              mp::GetMethod_Responses* response)
{
    return access_.read(*context, "GetMethod", [&] {
        const std::string name =
            methodName("GetMethod", request->has_name(), request->name().value());
        const std::optional<std::string> text = methods_.read(name);
        if (!text)
            throw SilaFailure{
                definedError(kMethodProviderFeature, "UnknownMethod",
                             "no method " + name + " is stored; Methods lists those that are")};
        setText(response->mutable_content(), *text);
    });
}

grpc::Status MethodProviderFeature::Get_Methods(Context* context, const mp::Get_Methods_Parameters*,
                                                mp::Get_Methods_Responses* response)
{
    return access_.read(*context, "Get_Methods", [&] {
        for (const MethodEntry& entry : methods_.list())
            setText(response->add_methods(), entry.name);
    });
}

}  // namespace gc6890::sila
