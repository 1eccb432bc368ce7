#include "service/sila/lock_check.h"

#include "service/job_requests.h"
#include "service/sila/sila_error.h"
#include "service/sila/sila_metadata.h"
#include "service/sila/sila_names.h"

namespace gc6890::sila {

grpc::Status checkLock(ServiceState& state, const grpc::ServerContext& context,
                       std::string& identifier)
{
    const std::optional<std::string> bytes =
        metadataBytes(context.client_metadata(), kLockIdentifierFqi);
    const std::optional<std::string> sent = bytes ? lockIdentifierOf(*bytes) : std::nullopt;
    // Without a lock a call needs no identifier, and one sent is not looked at.
    const std::optional<LockConflict> locked = lockConflict(state, sent.value_or(""));
    if (!locked) {
        identifier = sent.value_or("");
        return grpc::Status::OK;
    }
    if (!sent)
        return frameworkError(fw::FrameworkError::INVALID_METADATA,
                              locked->reason + ": this call needs the LockIdentifier metadata (" +
                                  metadataKey(kLockIdentifierFqi) +
                                  ": a serialized Metadata_LockIdentifier holding the lock's "
                                  "identifier)");
    return definedError(kLockControllerFqi, "InvalidLockIdentifier",
                        locked->reason + ": the LockIdentifier sent is not the lock's");
}

}  // namespace gc6890::sila
