#include "service/sila/gc_controller_feature.h"

#include "sequence/injection_limits.h"
#include "service/job_requests.h"
#include "service/sila/audited_call.h"
#include "service/sila/execution_rpcs.h"
#include "service/sila/injection.h"
#include "service/sila/job_outcome.h"
#include "service/sila/lock_check.h"
#include "service/sila/method_provider_feature.h"
#include "service/sila/property_feed.h"
#include "service/sila/sila_error.h"
#include "service/sila/sila_names.h"
#include "service/sila/sila_text.h"

namespace gc6890::sila {

namespace {

JobRequest jobOf(JobKind kind, bool on = false)
{
    JobRequest request;
    request.kind = kind;
    request.on = on;
    return request;
}

// How often a command's follower looks at its job.
constexpr std::chrono::milliseconds kFollowEvery(100);
// The longest an unobservable command waits for its job: a stop, a reset or a switch of
// the zones takes a few exchanges, each bounded by the port's time-out (45 s by default).
constexpr std::chrono::seconds kUnobservableBound(120);

}  // namespace

GcControllerFeature::GcControllerFeature(ServiceState& state, MethodStore methods,
                                         const AccessCheck& access, CommandExecutions& executions)
    : state_(state), methods_(std::move(methods)), access_(access), executions_(executions)
{}

GcControllerFeature::~GcControllerFeature()
{
    stop();
}

void GcControllerFeature::stop()
{
    stopping_ = true;
    std::lock_guard lock(followersMutex_);
    for (Follower& follower : followers_)
        if (follower.thread.joinable())
            follower.thread.join();
    followers_.clear();
}

void GcControllerFeature::spawn(std::function<void()> body)
{
    std::lock_guard lock(followersMutex_);
    // The followers that have ended are joined here, so the list stays short.
    followers_.remove_if([](Follower& follower) {
        if (!follower.done)
            return false;
        follower.thread.join();
        return true;
    });
    Follower& follower = followers_.emplace_back();
    follower.thread = std::thread([body = std::move(body), &follower] {
        body();
        follower.done = true;
    });
}

void GcControllerFeature::follow(std::uint64_t id, const std::string& uuid, std::string responses)
{
    spawn([this, id, uuid, responses = std::move(responses)] {
        try {
            for (;;) {
                const std::optional<Job> job = state_.jobs.find(id);
                if (!job) {
                    executions_.fail(uuid, undefinedError("the service no longer knows job " +
                                                          std::to_string(id)));
                    return;
                }
                if (job->state == JobState::Done)
                    return executions_.succeed(uuid, responses);
                if (job->state == JobState::Failed)
                    return executions_.fail(uuid, jobFailure(*job, *state_.snapshot.get()));
                if (job->state == JobState::Running)
                    executions_.running(uuid, job->total > 0 ? double(job->sent) / job->total : 0);
                if (stopping_)
                    return executions_.fail(
                        uuid, undefinedError("the service stopped before the command ended"));
                std::this_thread::sleep_for(kFollowEvery);
            }
        } catch (...) {
            // Nothing leaves the thread; the execution ends with what is known.
            executions_.fail(uuid, grpc::Status(grpc::StatusCode::INTERNAL, ""));
        }
    });
}

grpc::Status GcControllerFeature::await(std::uint64_t id, const Context* context)
{
    const auto until = std::chrono::steady_clock::now() + kUnobservableBound;
    while (std::chrono::steady_clock::now() < until && !(context && context->IsCancelled()) &&
           !stopping_) {
        const std::optional<Job> job = state_.jobs.find(id);
        if (!job)
            break;
        if (job->state == JobState::Done)
            return grpc::Status::OK;
        if (job->state == JobState::Failed)
            return jobFailure(*job, *state_.snapshot.get());
        std::this_thread::sleep_for(kFollowEvery);
    }
    return undefinedError("job " + std::to_string(id) + " did not end in time; GET /api/v1/jobs/" +
                          std::to_string(id) + " tells how it went");
}

namespace {

// A well-formed method name the store lacks: the command's own error, from _Result.
grpc::Status unknownMethod(const std::string& name)
{
    return gcControllerError("UnknownMethod", "no method " + name +
                                                  " is stored; MethodProvider's Methods lists "
                                                  "those that are");
}

}  // namespace

grpc::Status GcControllerFeature::admit(Context& context, const std::string& call, Action action,
                                        std::string* lockIdentifier)
{
    if (grpc::Status denied = access_.check(context, call, action); !denied.ok())
        return denied;
    if (!lockIdentifier)
        return grpc::Status::OK;
    // Refused for another's lock: a known account's refusal, a line of its own.
    grpc::Status locked = checkLock(state_, context, *lockIdentifier);
    if (!locked.ok())
        auditRefusal(state_.audit, access_.origin(context), call, actionWord(action), locked);
    return locked;
}

grpc::Status GcControllerFeature::refuse(Context& context, const std::string& call, Action action,
                                         grpc::Status status)
{
    auditRefusal(state_.audit, access_.origin(context), call, actionWord(action), status);
    return status;
}

grpc::Status GcControllerFeature::admitLoad(Context& context, const std::string& call,
                                            Action action, bool named, const std::string& typed,
                                            JobRequest& load)
{
    if (grpc::Status denied = admit(context, call, action, &load.lockIdentifier); !denied.ok())
        return denied;
    grpc::Status invalid;
    load.method = methodNameParameter(parameterOf(kGcControllerFeature, call, "MethodName"), named,
                                      typed, invalid);
    return load.method.empty() ? refuse(context, call, action, invalid) : grpc::Status::OK;
}

grpc::Status GcControllerFeature::runJob(const Context* context, const JobRequest& job)
{
    // A call's own job is in the audit trail; a stop the service asks itself (a cancelled
    // injection's, context null) is the cancel's.
    JobRequest request = job;
    if (context) {
        request.origin = access_.origin(*context);
        request.auditParams = jobAuditParams(request, methods_);
    }
    const JobBoard::Submitted submitted = submitJob(state_, request);
    if (submitted.id == 0)
        return instrumentBusy(request, submitted.conflict);
    return await(submitted.id, context);
}

grpc::Status GcControllerFeature::stopInjection(InjectionCancel& cancel)
{
    const std::uint64_t run = cancel.cancel();
    if (run == 0)
        return grpc::Status::OK;  // the injection ends without asking for a run
    // A stop is taken ahead of a queued job: one taken before the run job would leave the
    // run to start after it. So the stop waits (bounded) until the run job is taken.
    const auto until = std::chrono::steady_clock::now() + kUnobservableBound;
    std::optional<Job> job = state_.jobs.find(run);
    while (job && job->state == JobState::Queued && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(kFollowEvery);
        job = state_.jobs.find(run);
    }
    if (!job || job->state == JobState::Failed || job->resultsSettled())
        return grpc::Status::OK;  // no run to stop: over already, or never injected
    // Whoever holds the lock: a stop asks no lock identifier.
    return runJob(nullptr, jobOf(JobKind::Stop));
}

grpc::Status GcControllerFeature::LoadMethod(Context* context,
                                             const gcc::LoadMethod_Parameters* request,
                                             fw::CommandConfirmation* response)
{
    return guarded([&] {
        JobRequest job = jobOf(JobKind::Load);
        if (grpc::Status refused =
                admitLoad(*context, "LoadMethod", Action::Load, request->has_methodname(),
                          request->methodname().value(), job);
            !refused.ok())
            return refused;
        const std::string uuid = startExecution(executions_);
        if (!methods_.read(job.method)) {
            executions_.fail(
                uuid, refuse(*context, "LoadMethod", Action::Load, unknownMethod(job.method)));
        } else {
            job.origin = access_.origin(*context);
            job.auditParams = jobAuditParams(job, methods_);
            const JobBoard::Submitted submitted = submitJob(state_, job);
            if (submitted.id == 0) {
                executions_.discard(uuid);
                return frameworkError(fw::FrameworkError::COMMAND_EXECUTION_NOT_ACCEPTED,
                                      refusal(job, submitted.conflict));
            }
            executions_.setCancellation(
                uuid, {nullptr, "LoadMethod cannot be cancelled: a method half sent is worse "
                                "than one sent whole; the load ends by itself once the GC and "
                                "the sampler hold the method"});
            follow(submitted.id, uuid, gcc::LoadMethod_Responses().SerializeAsString());
        }
        *response = confirmationOf(uuid, executions_.lifetime());
        return grpc::Status::OK;
    });
}

grpc::Status GcControllerFeature::Inject(Context* context, const gcc::Inject_Parameters* request,
                                         fw::CommandConfirmation* response)
{
    return guarded([&] {
        JobRequest load = jobOf(JobKind::Load);
        if (grpc::Status refused =
                admitLoad(*context, "Inject", Action::Run, request->has_methodname(),
                          request->methodname().value(), load);
            !refused.ok())
            return refused;
        const std::string& name = load.method;
        const auto invalid = [&](const char* parameter, const std::string& why) {
            return refuse(
                *context, "Inject", Action::Run,
                validationError(parameterOf(kGcControllerFeature, "Inject", parameter), why));
        };
        if (!request->has_vial() || request->vial().value() < kVialMin ||
            request->vial().value() > kVialMax)
            return invalid("Vial", "Vial must be a whole number from " + std::to_string(kVialMin) +
                                       " to " + std::to_string(kVialMax));
        if (!request->has_volume() || !volumeInRange(request->volume().value()))
            return invalid("Volume", "Volume must be a number of microliters from 0 to 1000");
        const std::string uuid = startExecution(executions_);
        const std::optional<std::string> content = methods_.read(name);
        if (!content) {
            executions_.fail(uuid, refuse(*context, "Inject", Action::Run, unknownMethod(name)));
        } else {
            // As a sequence row: the method is loaded first unless the GC holds it already,
            // the same name loaded from the same text (a method stored again since is
            // loaded again). Injecting with another would spoil the sample.
            load.origin = access_.origin(*context);
            load.auditParams = jobAuditParams(load, methods_);
            const JobBoard::Submitted submitted = state_.jobs.holdsMethod(name, *content)
                                                      ? jobConflict(state_, load)
                                                      : submitJob(state_, load);
            if (!submitted.conflict.empty()) {
                executions_.discard(uuid);
                return frameworkError(fw::FrameworkError::COMMAND_EXECUTION_NOT_ACCEPTED,
                                      "inject refused: " + submitted.conflict);
            }
            const Injection injection{uuid,
                                      submitted.id,
                                      name,
                                      static_cast<int>(request->vial().value()),
                                      static_cast<float>(request->volume().value()),
                                      load.lockIdentifier,
                                      load.origin};
            executions_.setCancellation(
                uuid, {[this, cancel = injection.cancel] { return stopInjection(*cancel); }, {}});
            spawn([this, injection] {
                runInjection({state_, methods_, executions_, stopping_}, injection);
            });
        }
        *response = confirmationOf(uuid, executions_.lifetime());
        return grpc::Status::OK;
    });
}

grpc::Status GcControllerFeature::StopRun(Context* context, const gcc::StopRun_Parameters*,
                                          gcc::StopRun_Responses*)
{
    return guarded([&] {
        // Taken whoever holds the lock: it asks no lock identifier.
        if (grpc::Status denied = admit(*context, "StopRun", Action::Stop, nullptr); !denied.ok())
            return denied;
        return runJob(context, jobOf(JobKind::Stop));
    });
}

grpc::Status GcControllerFeature::ResetSampler(Context* context,
                                               const gcc::ResetSampler_Parameters*,
                                               gcc::ResetSampler_Responses*)
{
    return guarded([&] {
        JobRequest reset = jobOf(JobKind::Reset);
        if (grpc::Status denied =
                admit(*context, "ResetSampler", Action::Reset, &reset.lockIdentifier);
            !denied.ok())
            return denied;
        return runJob(context, reset);
    });
}

grpc::Status GcControllerFeature::SwitchHeatedZones(
    Context* context, const gcc::SwitchHeatedZones_Parameters* request,
    gcc::SwitchHeatedZones_Responses*)
{
    return guarded([&] {
        JobRequest zones = jobOf(JobKind::Zones);
        if (grpc::Status denied =
                admit(*context, "SwitchHeatedZones", Action::Zones, &zones.lockIdentifier);
            !denied.ok())
            return denied;
        if (!request->has_on())
            return refuse(
                *context, "SwitchHeatedZones", Action::Zones,
                validationError(parameterOf(kGcControllerFeature, "SwitchHeatedZones", "On"),
                                "On is missing"));
        zones.on = request->on().value();
        return runJob(context, zones);
    });
}

namespace {

// Each observable property: its value from the status, fed to the subscriber.
template <class Response>
grpc::Status subscribe(ServiceState& state, grpc::ServerContext& context,
                       const std::atomic<bool>& stopping, const AccessCheck& access,
                       const std::string& call, grpc::ServerWriter<Response>& writer,
                       void (*fill)(const InstrumentStatus&, Response&))
{
    const auto allowed = [&] { return access.check(context, call, Action::Read); };
    if (grpc::Status denied = allowed(); !denied.ok())
        return denied;
    return guarded(
        [&] { return feedProperty<Response>(state, context, stopping, allowed, writer, fill); });
}

// A property's value into its response field: text made valid UTF-8, the rest as it is.
void setValue(fw::String* field, const std::string& text)
{
    setText(field, text);
}

template <class Field, class Value>
void setValue(Field* field, Value value)
{
    field->set_value(value);
}

}  // namespace

#define GC6890_SUBSCRIBE_DEFINITION(Property, field, member)                                       \
    grpc::Status GcControllerFeature::Subscribe_##Property(                                        \
        Context* context, const gcc::Subscribe_##Property##_Parameters*,                           \
        grpc::ServerWriter<gcc::Subscribe_##Property##_Responses>* writer)                         \
    {                                                                                              \
        return subscribe<gcc::Subscribe_##Property##_Responses>(                                   \
            state_, *context, stopping_, access_, "Subscribe_" #Property, *writer,                 \
            [](const InstrumentStatus& status, gcc::Subscribe_##Property##_Responses& out) {       \
                setValue(out.mutable_##field(), status.member);                                    \
            });                                                                                    \
    }
GC6890_GC_CONTROLLER_OBSERVABLES(GC6890_SUBSCRIBE_DEFINITION)
#undef GC6890_SUBSCRIBE_DEFINITION

grpc::Status GcControllerFeature::Get_InstalledHardware(
    Context* context, const gcc::Get_InstalledHardware_Parameters*,
    gcc::Get_InstalledHardware_Responses* response)
{
    return access_.read(*context, "Get_InstalledHardware", [&] {
        setText(response->mutable_installedhardware(),
                instrumentStatusOf(*state_.snapshot.get()).hardware);
    });
}

grpc::Status GcControllerFeature::Get_FirmwareVersion(Context* context,
                                                      const gcc::Get_FirmwareVersion_Parameters*,
                                                      gcc::Get_FirmwareVersion_Responses* response)
{
    return access_.read(*context, "Get_FirmwareVersion", [&] {
        setText(response->mutable_firmwareversion(),
                instrumentStatusOf(*state_.snapshot.get()).firmware);
    });
}

}  // namespace gc6890::sila
