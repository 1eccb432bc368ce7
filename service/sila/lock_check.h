// The LockIdentifier metadata (org.silastandard/core/LockController/v1) on the calls the
// instrument's lock affects: checked after the token and before the parameters, as the
// standard orders metadata. The service's one lock check (job_requests.h) makes the
// decision; this turns it into the feature's errors.
#pragma once

#include <grpcpp/server_context.h>

#include <string>

#include "service/service_state.h"

namespace gc6890::sila {

// OK when the instrument is not locked, or the call carries the lock's identifier (a use
// of the lock), which is then in `identifier` for the jobs the call asks for. Else, while
// locked: the framework error INVALID_METADATA (no LockIdentifier, or not a
// Metadata_LockIdentifier) or the defined error InvalidLockIdentifier (another one).
grpc::Status checkLock(ServiceState& state, const grpc::ServerContext& context,
                       std::string& identifier);

}  // namespace gc6890::sila
