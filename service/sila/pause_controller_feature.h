// org.silastandard/core.commands/PauseController/v1: a RunSequence execution paused and
// resumed by its UUID, as the service's pause and resume do. Pause is taken whoever holds
// the instrument's lock (as over HTTP); Resume injects again, so the lock affects it.
#pragma once

#include <string>
#include <vector>

#include "PauseController.grpc.pb.h"
#include "service/service_state.h"
#include "service/sila/access_check.h"
#include "service/sila/sequence_executions.h"
#include "service/sila/served_calls.h"

namespace gc6890::sila {

namespace pc = sila2::org::silastandard::core::commands::pausecontroller::v1;

class PauseControllerFeature final : public pc::PauseController::Service {
public:
    PauseControllerFeature(ServiceState& state, const AccessCheck& access,
                           SequenceExecutions& sequences)
        : state_(state), access_(access), sequences_(sequences)
    {}

    using Context = grpc::ServerContext;
    GC6890_SILA_CALL(pc, Pause)
    GC6890_SILA_CALL(pc, Resume)
    GC6890_SILA_CALL(pc, Get_Paused)

private:
    // Pause or Resume, the execution `uuid` as the call gave it.
    grpc::Status control(Context& context, SequenceExecutions::Control what,
                         const std::string& uuid);

    ServiceState& state_;
    const AccessCheck& access_;
    SequenceExecutions& sequences_;
};

}  // namespace gc6890::sila
