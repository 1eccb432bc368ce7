// io.gcsixeightninety/chromatography/GasChromatographController/v1: the GC and its sampler.
// Properties come from the service's snapshot; commands are the service's jobs, handed to
// the job board through the same submit function and checks as the HTTP API's.
#pragma once

#include <atomic>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "GasChromatographController.grpc.pb.h"
#include "service/method_store.h"
#include "service/service_state.h"
#include "service/sila/access_check.h"
#include "service/sila/command_executions.h"
#include "service/sila/execution_rpcs.h"
#include "service/sila/injection.h"
#include "service/sila/served_calls.h"

namespace gc6890 {}

namespace gc6890::sila {

namespace gcc = sila2::io::gcsixeightninety::chromatography::gaschromatographcontroller::v1;

// The feature's observable properties, each followed from the instrument status: the
// property's identifier, its response's field and the status member it shows.
#define GC6890_GC_CONTROLLER_OBSERVABLES(X)                                                        \
    X(RunState, runstate, runState)                                                                \
    X(Ready, ready, ready)                                                                         \
    X(NotReadyReason, notreadyreason, notReadyReason)                                              \
    X(ErrorText, errortext, errorText)                                                             \
    X(OvenTemperature, oventemperature, ovenTemperature)                                           \
    X(Column1Pressure, column1pressure, column1Pressure)                                           \
    X(Column1Flow, column1flow, column1Flow)                                                       \
    X(Column2Pressure, column2pressure, column2Pressure)                                           \
    X(Column2Flow, column2flow, column2Flow)                                                       \
    X(LineState, linestate, lineState)

class GcControllerFeature final : public gcc::GasChromatographController::Service {
public:
    GcControllerFeature(ServiceState& state, MethodStore methods, const AccessCheck& access,
                        CommandExecutions& executions);
    // Ends the commands' followers (stop()).
    ~GcControllerFeature() override;
    GcControllerFeature(const GcControllerFeature&) = delete;
    GcControllerFeature& operator=(const GcControllerFeature&) = delete;

    // Executions still following a job end with an error saying the service stopped.
    void stop();

    using Context = grpc::ServerContext;

    GC6890_SILA_COMMAND_START(gcc, LoadMethod)
    GC6890_SILA_EXECUTION_CALLS(gcc, LoadMethod)
    GC6890_SILA_COMMAND_START(gcc, Inject)
    GC6890_SILA_EXECUTION_CALLS(gcc, Inject)
    GC6890_SILA_INTERMEDIATE_CALL(gcc, Inject)
    GC6890_SILA_CALL(gcc, StopRun)
    GC6890_SILA_CALL(gcc, ResetSampler)
    GC6890_SILA_CALL(gcc, SwitchHeatedZones)

    // One subscription per observable property, each a feed of the snapshot (see the .cpp).
#define GC6890_SUBSCRIBE_DECLARATION(Property, field, member)                                      \
    GC6890_SILA_SUBSCRIPTION(gcc, Property)
    GC6890_GC_CONTROLLER_OBSERVABLES(GC6890_SUBSCRIBE_DECLARATION)
#undef GC6890_SUBSCRIBE_DECLARATION
    GC6890_SILA_CALL(gcc, Get_InstalledHardware)
    GC6890_SILA_CALL(gcc, Get_FirmwareVersion)

private:
    // Follows job `id` on a thread of its own and moves execution `uuid` along with it;
    // `responses` is what a success answers.
    void follow(std::uint64_t id, const std::string& uuid, std::string responses);
    // Runs `body` on a thread of its own, joined by stop().
    void spawn(std::function<void()> body);
    // Waits (bounded) for an unobservable command's job to end; its status. `context`: the
    // call's, whose cancel ends the wait (none for a cancel's stop).
    grpc::Status await(std::uint64_t id, const Context* context);
    // The call's metadata: the token and its role for `action`, and unless `lockIdentifier`
    // is null (a stop) the lock's identifier while the instrument is locked, put there for
    // the call's jobs.
    grpc::Status admit(Context& context, const std::string& call, Action action,
                       std::string* lockIdentifier);
    // A refusal of an admitted call's parameters or its method, before any job: its line in
    // the audit trail (as the HTTP door writes one for a request it refuses), then `status`.
    grpc::Status refuse(Context& context, const std::string& call, Action action,
                        grpc::Status status);
    // The start of a command that loads a stored method (LoadMethod, and Inject, which loads
    // first): admitted with the lock, its MethodName checked (`named`, `typed`); `load` gets
    // the lock's identifier and the method's name.
    grpc::Status admitLoad(Context& context, const std::string& call, Action action, bool named,
                           const std::string& typed, JobRequest& load);
    // Hands an unobservable command's job over and waits for it.
    grpc::Status runJob(const Context* context, const JobRequest& request);
    // A cancel of an injection (CancelController): the run it asked for is stopped as
    // StopRun stops it; answers once the stop is carried out.
    grpc::Status stopInjection(InjectionCancel& cancel);

    struct Follower {
        std::thread thread;
        std::atomic<bool> done{false};
    };

    ServiceState& state_;
    MethodStore methods_;
    const AccessCheck& access_;
    CommandExecutions& executions_;
    std::atomic<bool> stopping_{false};
    std::mutex followersMutex_;
    std::list<Follower> followers_;
};

}  // namespace gc6890::sila
