// The AccessToken metadata (org.silastandard/core/AuthorizationService/v1): a call carries
// an account's token or the service's, the same the HTTP API takes as its bearer token, and
// the caller's role must allow what it asks (roles.h, through the service's one admission,
// accounts.h). Checked before the parameters, as the standard orders it.
#pragma once

#include <grpcpp/server_context.h>

#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "service/accounts.h"
#include "service/audit_log.h"
#include "service/roles.h"
#include "service/service_state.h"

namespace gc6890::sila {

class AccessCheck {
public:
    // `readsOpen`: properties need no token (the server listens on loopback only, or the
    // service was started with --open-reads).
    AccessCheck(ServiceState& state, bool readsOpen) : state_(state), readsOpen_(readsOpen) {}

    bool readsOpen() const { return readsOpen_; }

    // OK when the call may do `action`: a read while reads are open, else a call whose token
    // names an account whose role allows it. Else the standard's INVALID_METADATA framework
    // error (no token, or not a Metadata_AccessToken), the InvalidAccessToken error (a token
    // of no account) or PermissionDenied (an account whose role does not allow it). `call`
    // names the call in the refusal's log line.
    grpc::Status check(const grpc::ServerContext& context, const std::string& call,
                       Action action) const;
    // A property's read, whole: the check for Action::Read, then `answer` fills the response.
    // Nothing `answer` throws leaves the call (guarded, sila_error.h).
    grpc::Status read(const grpc::ServerContext& context, const std::string& call,
                      const std::function<void()>& answer) const;

    // Whether a changing call must pass the instrument's lock (lock_check.h) besides its token.
    enum class Lock { Ignored, Affects };
    // A changing call, whole: the check for `action`; then, with its line in the audit trail
    // (audited, audited_call.h; `params` as `body` leaves them), the lock's check when the
    // lock affects the call, then `body`. The line's action is the role table's word for
    // `action` followed by `wordSuffix` ("-pause": the HTTP door's word for the same change).
    grpc::Status change(grpc::ServerContext& context, const std::string& call, Action action,
                        nlohmann::json& params, const std::function<grpc::Status()>& body,
                        Lock lock = Lock::Ignored, std::string_view wordSuffix = {}) const;

    // The account the call's token names; nothing without a valid token.
    std::optional<Caller> caller(const grpc::ServerContext& context) const;
    // Who called through which peer, for the audit trail's lines.
    AuditOrigin origin(const grpc::ServerContext& context) const
    {
        return auditOrigin(caller(context), "sila", context.peer());
    }

private:
    ServiceState& state_;
    bool readsOpen_;
};

}  // namespace gc6890::sila
