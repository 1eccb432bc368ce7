#include "service/sila/lock_controller_feature.h"

#include "service/sila/sila_error.h"
#include "service/sila/sila_names.h"
#include "service/sila/sila_text.h"

namespace gc6890::sila {

namespace {

// The lock's identifier parameter of `command`, or a validation error naming it.
std::string identifierOf(const std::string& command, bool present, const std::string& typed)
{
    const std::string parameter = parameterOf(kLockControllerFqi, command, "LockIdentifier");
    if (!present)
        throw SilaFailure{validationError(parameter, "LockIdentifier is missing")};
    // An empty identifier would be a lock that a call without one could not be told from.
    if (typed.empty())
        throw SilaFailure{validationError(parameter, "LockIdentifier must not be empty")};
    return typed;
}

}  // namespace

grpc::Status LockControllerFeature::LockServer(Context* context,
                                               const lc::LockServer_Parameters* request,
                                               lc::LockServer_Responses*)
{
    // The identifier is the holder's key to the instrument: not in the trail.
    nlohmann::json params = nlohmann::json::object();
    return access_.change(*context, "LockServer", Action::Lock, params, [&] {
        const std::string identifier = identifierOf("LockServer", request->has_lockidentifier(),
                                                    request->lockidentifier().value());
        const std::string timeout = parameterOf(kLockControllerFqi, "LockServer", "Timeout");
        if (!request->has_timeout())
            return validationError(timeout, "Timeout is missing");
        params["timeout_s"] = request->timeout().value();
        // Our departure from the standard, where 0 is a lock that never lapses: a client
        // that crashed holding such a lock would keep the GC from everyone until a
        // restart.
        if (request->timeout().value() <= 0)
            return validationError(timeout,
                                   "Timeout must be at least 1 second: this server refuses a "
                                   "lock that never lapses");
        if (!state_.lock.lock(identifier, std::chrono::seconds(request->timeout().value()),
                              "the SiLA 2 client at " + context->peer()))
            return definedError(kLockControllerFqi, "ServerAlreadyLocked",
                                "the server is locked already; its holder unlocks it, or it "
                                "lapses after its timeout");
        return grpc::Status::OK;
    });
}

grpc::Status LockControllerFeature::UnlockServer(Context* context,
                                                 const lc::UnlockServer_Parameters* request,
                                                 lc::UnlockServer_Responses*)
{
    nlohmann::json params = nlohmann::json::object();
    return access_.change(*context, "UnlockServer", Action::Lock, params, [&] {
        const std::string identifier = identifierOf("UnlockServer", request->has_lockidentifier(),
                                                    request->lockidentifier().value());
        switch (state_.lock.unlock(identifier)) {
        case InstrumentLock::Unlock::Unlocked:
            return grpc::Status::OK;
        case InstrumentLock::Unlock::NotLocked:
            return definedError(kLockControllerFqi, "ServerNotLocked",
                                "the server is not locked (a lock lapses after its timeout)");
        case InstrumentLock::Unlock::WrongIdentifier:
            break;
        }
        return definedError(kLockControllerFqi, "InvalidLockIdentifier",
                            "the server is locked with another identifier");
    });
}

grpc::Status LockControllerFeature::Get_IsLocked(Context* context,
                                                 const lc::Get_IsLocked_Parameters*,
                                                 lc::Get_IsLocked_Responses* response)
{
    return access_.read(*context, "Get_IsLocked", [&] {
        response->mutable_islocked()->set_value(state_.lock.held().has_value());
    });
}

grpc::Status LockControllerFeature::Get_FCPAffectedByMetadata_LockIdentifier(
    Context*, const lc::Get_FCPAffectedByMetadata_LockIdentifier_Parameters*,
    lc::Get_FCPAffectedByMetadata_LockIdentifier_Responses* response)
{
    return guarded([&] {
        setAffectedCalls(response, lockedCalls_);
        return grpc::Status::OK;
    });
}

}  // namespace gc6890::sila
