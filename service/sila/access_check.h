// The AccessToken metadata (org.silastandard/core/AuthorizationService/v1): a call carries
// an account's token or the service's, the same the HTTP API takes as its bearer token, and
// the caller's role must allow what it asks (roles.h, through the service's one admission,
// accounts.h). Checked before the parameters, as the standard orders it.
#pragma once

#include <grpcpp/server_context.h>

#include <optional>
#include <string>

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
