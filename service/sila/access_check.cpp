#include "service/sila/access_check.h"

#include <iostream>

#include "service/safe_text.h"
#include "service/sila/audited_call.h"
#include "service/sila/lock_check.h"
#include "service/sila/sila_error.h"
#include "service/sila/sila_metadata.h"
#include "service/sila/sila_names.h"

namespace gc6890::sila {

namespace {

std::optional<std::string> tokenOf(const grpc::ServerContext& context)
{
    const std::optional<std::string> bytes =
        metadataBytes(context.client_metadata(), kAccessTokenFqi);
    return bytes ? accessTokenOf(*bytes) : std::nullopt;
}

}  // namespace

std::optional<Caller> AccessCheck::caller(const grpc::ServerContext& context) const
{
    const std::optional<std::string> token = tokenOf(context);
    return token ? state_.accounts.identify(*token) : std::nullopt;
}

grpc::Status AccessCheck::check(const grpc::ServerContext& context, const std::string& call,
                                Action action) const
{
    if (action == Action::Read && readsOpen_)
        return grpc::Status::OK;  // the metadata of a call that needs none is ignored
    const std::optional<std::string> token = tokenOf(context);
    const Admission admission =
        state_.accounts.admit(token.value_or(""), action, /*readsOpen=*/false);
    if (admission.admitted())
        return grpc::Status::OK;
    // Counted and logged as the HTTP door counts and logs its refusals.
    ++state_.metrics.unauthorized;
    // The audit trail: a known account's refusal is a line of its own; one without a valid
    // token is summed with the others from its peer. A refusal stays one if its line fails.
    if (admission.caller) {
        std::string error;
        state_.audit.record(auditOrigin(admission.caller, "sila", context.peer()),
                            actionWord(action), {{"call", call}}, "refused: " + admission.refusal(),
                            error);
    } else
        state_.audit.tokenless("sila", context.peer());
    const std::string what = "SiLA " + call + " from " + context.peer() + ": " +
                             (token ? admission.refusal() : std::string("no token"));
    std::cerr << "gc6890 serve: refused " << loggable(what) << '\n';
    state_.events.log(1, "service", "refused " + what);
    if (!token)
        return frameworkError(fw::FrameworkError::INVALID_METADATA,
                              "this call needs the AccessToken metadata (" +
                                  metadataKey(kAccessTokenFqi) +
                                  ": a serialized Metadata_AccessToken holding an account's "
                                  "token, from gc6890 user add, or the service's)");
    if (admission.verdict == Admission::Verdict::Forbidden)
        return definedError(kPermissionDeniedFqi, admission.refusal());
    return definedError(kInvalidAccessTokenFqi,
                        "the access token is no account's: it was removed or rotated, or "
                        "mistyped (gc6890 user list shows the accounts)");
}

grpc::Status AccessCheck::read(const grpc::ServerContext& context, const std::string& call,
                               const std::function<void()>& answer) const
{
    return guarded([&] {
        if (grpc::Status denied = check(context, call, Action::Read); !denied.ok())
            return denied;
        answer();
        return grpc::Status::OK;
    });
}

grpc::Status AccessCheck::change(grpc::ServerContext& context, const std::string& call,
                                 Action action, nlohmann::json& params,
                                 const std::function<grpc::Status()>& body, Lock lock,
                                 std::string_view wordSuffix) const
{
    return guarded([&] {
        if (grpc::Status denied = check(context, call, action); !denied.ok())
            return denied;
        const std::string word = actionWord(action) + std::string(wordSuffix);
        return audited(state_.audit, origin(context), call, word, params, [&] {
            // The identifier matters only to the jobs a call hands over, which write their
            // own lines; a call that comes here asks none.
            std::string lockIdentifier;
            if (lock == Lock::Affects)
                if (grpc::Status locked = checkLock(state_, context, lockIdentifier); !locked.ok())
                    return locked;
            return body();
        });
    });
}

}  // namespace gc6890::sila
