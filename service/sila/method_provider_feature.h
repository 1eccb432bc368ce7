// io.gcsixeightninety/chromatography/MethodProvider/v1: the service's method folder as the
// HTTP API shows it (the same store, the same check of a file before it is stored).
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "MethodProvider.grpc.pb.h"
#include "service/method_store.h"
#include "service/service_state.h"
#include "service/sila/access_check.h"
#include "service/sila/served_calls.h"

namespace gc6890::sila {

namespace mp = sila2::io::gcsixeightninety::chromatography::methodprovider::v1;

// A method's name as a parameter carries it (the fully qualified `parameter`): the plain
// name of the method folder, as every feature takes one; else "", with `invalid` the
// validation error naming the parameter (missing, or no plain name).
std::string methodNameParameter(const std::string& parameter, bool present,
                                const std::string& typed, grpc::Status& invalid);

class MethodProviderFeature final : public mp::MethodProvider::Service {
public:
    MethodProviderFeature(ServiceState& state, MethodStore methods, const AccessCheck& access)
        : state_(state), methods_(std::move(methods)), access_(access)
    {}

    using Context = grpc::ServerContext;
    GC6890_SILA_CALL(mp, UploadMethod)
    GC6890_SILA_CALL(mp, GetMethod)
    GC6890_SILA_CALL(mp, Get_Methods)

private:
    // The upload once admitted, `params` naming the method and its content's SHA-256 as
    // soon as they are known.
    grpc::Status store(Context& context, const mp::UploadMethod_Parameters& request,
                       nlohmann::json& params, mp::UploadMethod_Responses& response);

    ServiceState& state_;
    MethodStore methods_;
    const AccessCheck& access_;
};

}  // namespace gc6890::sila
