#include "service/sila/silaservice_feature.h"

#include <regex>

#include "platform/utf8_text.h"
#include "service/sila/sila_error.h"
#include "service/sila/sila_metadata.h"
#include "service/sila/sila_names.h"
#include "service/sila/sila_text.h"

namespace gc6890::sila {

namespace {

// SiLAService takes no metadata at all: any comes back as NO_METADATA_ALLOWED, before
// anything else is looked at.
template <class Body>
grpc::Status answer(const grpc::ServerContext* context, Body&& body)
{
    return guarded([&] {
        if (carriesSilaMetadata(context->client_metadata()))
            return frameworkError(fw::FrameworkError::NO_METADATA_ALLOWED,
                                  "SiLAService calls take no SiLA metadata; send the call "
                                  "without sila-...-bin headers");
        return body();
    });
}

}  // namespace

grpc::Status SilaServiceFeature::GetFeatureDefinition(
    Context* context, const svc::GetFeatureDefinition_Parameters* request,
    svc::GetFeatureDefinition_Responses* response)
{
    return answer(context, [&] {
        const std::string parameter =
            parameterOf(kSilaServiceFqi, "GetFeatureDefinition", "FeatureIdentifier");
        if (!request->has_featureidentifier())
            return validationError(parameter, "FeatureIdentifier is missing");
        const std::string& wanted = request->featureidentifier().value();
        static const std::regex featureFqi(
            "[a-z][a-z0-9]*(\\.[a-z][a-z0-9]*)*/[a-z][a-z0-9]*(\\.[a-z][a-z0-9]*)*/"
            "[A-Z][a-zA-Z0-9]*/v[0-9]+",
            std::regex::icase);
        if (wanted.size() > 2048 || !std::regex_match(wanted, featureFqi))
            return validationError(parameter, "\"" + wanted +
                                                  "\" is no feature identifier "
                                                  "(Originator/Category/FeatureIdentifier/vMajor)");
        const FeatureDefinition* feature = catalog_.find(wanted);
        if (!feature)
            return definedError(kSilaServiceFqi, "UnimplementedFeature",
                                "the feature " + wanted +
                                    " is not implemented here; ImplementedFeatures lists those "
                                    "that are");
        setText(response->mutable_featuredefinition(), feature->xml);
        return grpc::Status::OK;
    });
}

grpc::Status SilaServiceFeature::SetServerName(Context* context,
                                               const svc::SetServerName_Parameters* request,
                                               svc::SetServerName_Responses*)
{
    return answer(context, [&] {
        // The standard lets anyone rename the server, without a token: the line names the
        // peer and no account, and its action is no row of the role table, which this call
        // does not pass through. Only a rename is written: a name refused changes nothing,
        // and a flood of them from anyone must not become a flood of forced writes.
        std::string error;
        if (!audit_.usable(error))
            return undefinedError(error);
        const std::string parameter = parameterOf(kSilaServiceFqi, "SetServerName", "ServerName");
        if (!request->has_servername())
            return validationError(parameter, "ServerName is missing");
        const std::string& name = request->servername().value();
        // Empty is no name: a user who clears it would be left with nothing to find the
        // server by.
        if (name.empty() || utf8Characters(name) > 255)
            return validationError(parameter, "a server name has 1 to 255 characters");
        name_.set(name);
        if (!audit_.record({{}, {}, "sila", context->peer()}, "server-name",
                           {{"name", name}, {"call", "SetServerName"}}, "ok", error))
            return undefinedError(error);
        return grpc::Status::OK;
    });
}

#define GC6890_TEXT_PROPERTY_DEFINITION(Property, field, value)                                    \
    grpc::Status SilaServiceFeature::Get_##Property(Context* context,                              \
                                                    const svc::Get_##Property##_Parameters*,       \
                                                    svc::Get_##Property##_Responses* response)     \
    {                                                                                              \
        return answer(context, [&] {                                                               \
            setText(response->mutable_##field(), value);                                           \
            return grpc::Status::OK;                                                               \
        });                                                                                        \
    }
GC6890_SILA_SERVICE_TEXT_PROPERTIES(GC6890_TEXT_PROPERTY_DEFINITION)
#undef GC6890_TEXT_PROPERTY_DEFINITION

grpc::Status SilaServiceFeature::Get_ImplementedFeatures(
    Context* context, const svc::Get_ImplementedFeatures_Parameters*,
    svc::Get_ImplementedFeatures_Responses* response)
{
    return answer(context, [&] {
        for (const FeatureDefinition& feature : catalog_.features())
            setText(response->add_implementedfeatures(), feature.identifier);
        return grpc::Status::OK;
    });
}

}  // namespace gc6890::sila
