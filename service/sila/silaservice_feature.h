// org.silastandard/core/SiLAService/v1: the server's identity, the features it implements
// and their definitions. Every call is answered, and none may carry SiLA metadata.
#pragma once

#include <string>

#include "SiLAService.grpc.pb.h"
#include "service/audit_log.h"
#include "service/sila/feature_catalog.h"
#include "service/sila/served_calls.h"
#include "service/sila/sila_home.h"

namespace gc6890::sila {

namespace svc = sila2::org::silastandard::core::silaservice::v1;

// The server's text properties: the property's identifier, its response's field and the
// value answered.
#define GC6890_SILA_SERVICE_TEXT_PROPERTIES(X)                                                     \
    X(ServerName, servername, name_.get())                                                         \
    X(ServerType, servertype, identity_.type)                                                      \
    X(ServerUUID, serveruuid, identity_.uuid)                                                      \
    X(ServerDescription, serverdescription, identity_.description)                                 \
    X(ServerVersion, serverversion, identity_.version)                                             \
    X(ServerVendorURL, servervendorurl, identity_.vendorUrl)

struct ServerIdentity {
    std::string uuid;
    std::string type = "GasChromatograph";
    std::string description;
    std::string version;  // "0.1.0"
    std::string vendorUrl;
};

class SilaServiceFeature final : public svc::SiLAService::Service {
public:
    // `audit`: where a new name is recorded.
    SilaServiceFeature(const FeatureCatalog& catalog, ServerName& name, ServerIdentity identity,
                       AuditLog& audit)
        : catalog_(catalog), name_(name), identity_(std::move(identity)), audit_(audit)
    {}

    using Context = grpc::ServerContext;
    GC6890_SILA_CALL(svc, GetFeatureDefinition)
    GC6890_SILA_CALL(svc, SetServerName)
#define GC6890_TEXT_PROPERTY_DECLARATION(Property, field, value)                                   \
    GC6890_SILA_CALL(svc, Get_##Property)
    GC6890_SILA_SERVICE_TEXT_PROPERTIES(GC6890_TEXT_PROPERTY_DECLARATION)
#undef GC6890_TEXT_PROPERTY_DECLARATION
    GC6890_SILA_CALL(svc, Get_ImplementedFeatures)

private:
    const FeatureCatalog& catalog_;
    ServerName& name_;
    ServerIdentity identity_;
    AuditLog& audit_;
};

}  // namespace gc6890::sila
