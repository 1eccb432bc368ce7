// org.silastandard/core/SiLAService/v1: the server's identity, the features it implements
// and their definitions. Every call is answered, and none may carry SiLA metadata.
#pragma once

#include <string>

#include "SiLAService.grpc.pb.h"
#include "service/sila/feature_catalog.h"
#include "service/sila/sila_home.h"

namespace gc6890::sila {

struct ServerIdentity {
    std::string uuid;
    std::string type = "GasChromatograph";
    std::string description;
    std::string version;  // "0.1.0"
    std::string vendorUrl;
};

class SilaServiceFeature final
    : public sila2::org::silastandard::core::silaservice::v1::SiLAService::Service {
public:
    static constexpr const char* kDefinitionFile = "SiLAService.sila.xml";

    SilaServiceFeature(const FeatureCatalog& catalog, ServerName& name, ServerIdentity identity)
        : catalog_(catalog), name_(name), identity_(std::move(identity))
    {}

    using Context = grpc::ServerContext;
    grpc::Status GetFeatureDefinition(
        Context* context,
        const sila2::org::silastandard::core::silaservice::v1::GetFeatureDefinition_Parameters*
            request,
        sila2::org::silastandard::core::silaservice::v1::GetFeatureDefinition_Responses* response)
        override;
    grpc::Status SetServerName(
        Context* context,
        const sila2::org::silastandard::core::silaservice::v1::SetServerName_Parameters* request,
        sila2::org::silastandard::core::silaservice::v1::SetServerName_Responses* response)
        override;
    grpc::Status Get_ServerName(
        Context* context,
        const sila2::org::silastandard::core::silaservice::v1::Get_ServerName_Parameters* request,
        sila2::org::silastandard::core::silaservice::v1::Get_ServerName_Responses* response)
        override;
    grpc::Status Get_ServerType(
        Context* context,
        const sila2::org::silastandard::core::silaservice::v1::Get_ServerType_Parameters* request,
        sila2::org::silastandard::core::silaservice::v1::Get_ServerType_Responses* response)
        override;
    grpc::Status Get_ServerUUID(
        Context* context,
        const sila2::org::silastandard::core::silaservice::v1::Get_ServerUUID_Parameters* request,
        sila2::org::silastandard::core::silaservice::v1::Get_ServerUUID_Responses* response)
        override;
    grpc::Status Get_ServerDescription(
        Context* context,
        const sila2::org::silastandard::core::silaservice::v1::Get_ServerDescription_Parameters*
            request,
        sila2::org::silastandard::core::silaservice::v1::Get_ServerDescription_Responses* response)
        override;
    grpc::Status Get_ServerVersion(
        Context* context,
        const sila2::org::silastandard::core::silaservice::v1::Get_ServerVersion_Parameters*
            request,
        sila2::org::silastandard::core::silaservice::v1::Get_ServerVersion_Responses* response)
        override;
    grpc::Status Get_ServerVendorURL(
        Context* context,
        const sila2::org::silastandard::core::silaservice::v1::Get_ServerVendorURL_Parameters*
            request,
        sila2::org::silastandard::core::silaservice::v1::Get_ServerVendorURL_Responses* response)
        override;
    grpc::Status Get_ImplementedFeatures(
        Context* context,
        const sila2::org::silastandard::core::silaservice::v1::Get_ImplementedFeatures_Parameters*
            request,
        sila2::org::silastandard::core::silaservice::v1::Get_ImplementedFeatures_Responses*
            response) override;

private:
    const FeatureCatalog& catalog_;
    ServerName& name_;
    ServerIdentity identity_;
};

}  // namespace gc6890::sila
