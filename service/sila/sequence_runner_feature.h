// io.gcsixeightninety/chromatography/SequenceRunner/v1: a tray run as the service's sequence,
// started through the same check and the same start as the HTTP API's, followed by its
// journal (sequence_executions.h).
#pragma once

#include <atomic>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "SequenceRunner.grpc.pb.h"
#include "service/method_store.h"
#include "service/service_state.h"
#include "service/sila/access_check.h"
#include "service/sila/command_executions.h"
#include "service/sila/execution_rpcs.h"
#include "service/sila/sequence_executions.h"
#include "service/sila/served_calls.h"

namespace gc6890 {
class InstrumentThread;
}

namespace gc6890::sila {

namespace sr = sila2::io::gcsixeightninety::chromatography::sequencerunner::v1;

class SequenceRunnerFeature final : public sr::SequenceRunner::Service {
public:
    SequenceRunnerFeature(ServiceState& state, InstrumentThread& instrument, MethodStore methods,
                          const AccessCheck& access, CommandExecutions& executions,
                          SequenceExecutions& sequences)
        : state_(state), instrument_(instrument), methods_(std::move(methods)), access_(access),
          executions_(executions), sequences_(sequences)
    {}

    // Ends the subscriptions.
    void stop() { stopping_ = true; }

    using Context = grpc::ServerContext;

    GC6890_SILA_COMMAND_START(sr, RunSequence)
    GC6890_SILA_EXECUTION_CALLS(sr, RunSequence)
    GC6890_SILA_INTERMEDIATE_CALL(sr, RunSequence)
    GC6890_SILA_CALL(sr, SkipPausedRow)
    GC6890_SILA_SUBSCRIPTION(sr, SequenceState)

private:
    ServiceState& state_;
    InstrumentThread& instrument_;
    MethodStore methods_;
    const AccessCheck& access_;
    CommandExecutions& executions_;
    SequenceExecutions& sequences_;
    std::atomic<bool> stopping_{false};
};

}  // namespace gc6890::sila
