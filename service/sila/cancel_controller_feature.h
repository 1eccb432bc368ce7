// org.silastandard/core.commands/CancelController/v1: stops observable commands under way
// for good, each the way its command registered with its execution (command_executions.h).
// Needs the token; taken whoever holds the instrument's lock, as a stop is.
#pragma once

#include <string>
#include <vector>

#include "CancelController.grpc.pb.h"
#include "service/sila/access_check.h"
#include "service/sila/command_executions.h"
#include "service/sila/served_calls.h"

namespace gc6890::sila {

namespace cc = sila2::org::silastandard::core::commands::cancelcontroller::v1;

class CancelControllerFeature final : public cc::CancelController::Service {
public:
    CancelControllerFeature(const AccessCheck& access, CommandExecutions& executions)
        : access_(access), executions_(executions)
    {}

    using Context = grpc::ServerContext;

    GC6890_SILA_CALL(cc, CancelCommand)
    GC6890_SILA_CALL(cc, CancelAll)

private:
    const AccessCheck& access_;
    CommandExecutions& executions_;
};

}  // namespace gc6890::sila
