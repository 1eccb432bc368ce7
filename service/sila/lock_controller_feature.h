// org.silastandard/core/LockController/v1: a scheduler locks the instrument for itself
// (the service's one InstrumentLock, which the HTTP and MQTT doors consult too) and
// unlocks it. LockServer and UnlockServer need the token; the lock's identifier on the
// calls it affects is checked by checkLock (lock_check.h).
#pragma once

#include <string>
#include <vector>

#include "LockController.grpc.pb.h"
#include "service/service_state.h"
#include "service/sila/access_check.h"
#include "service/sila/served_calls.h"

namespace gc6890::sila {

namespace lc = sila2::org::silastandard::core::lockcontroller::v1;

class LockControllerFeature final : public lc::LockController::Service {
public:
    // `lockedCalls`: the fully qualified identifiers of the calls the lock affects, fixed
    // while the server runs.
    LockControllerFeature(ServiceState& state, const AccessCheck& access,
                          std::vector<std::string> lockedCalls)
        : state_(state), access_(access), lockedCalls_(std::move(lockedCalls))
    {}

    using Context = grpc::ServerContext;

    GC6890_SILA_CALL(lc, LockServer)
    GC6890_SILA_CALL(lc, UnlockServer)
    GC6890_SILA_CALL(lc, Get_IsLocked)
    GC6890_SILA_CALL(lc, Get_FCPAffectedByMetadata_LockIdentifier)

private:
    ServiceState& state_;
    const AccessCheck& access_;
    std::vector<std::string> lockedCalls_;
};

}  // namespace gc6890::sila
