#include "service/sila/audited_call.h"

#include "service/sila/sila_error.h"

namespace gc6890::sila {

std::string auditResultOf(const grpc::Status& status)
{
    if (status.ok())
        return "ok";
    const std::optional<fw::SiLAError> error = silaErrorOf(status);
    if (!error)
        return "failed: " + status.error_message();
    switch (error->error_case()) {
    case fw::SiLAError::kValidationError:
        return "refused: " + error->validationerror().message();
    case fw::SiLAError::kDefinedExecutionError:
        return "refused: " + error->definedexecutionerror().message();
    case fw::SiLAError::kFrameworkError:
        return "refused: " + error->frameworkerror().message();
    case fw::SiLAError::kUndefinedExecutionError:
        return "failed: " + error->undefinedexecutionerror().message();
    default:
        return "failed";
    }
}

grpc::Status audited(AuditLog& audit, const AuditOrigin& origin, const std::string& call,
                     const std::string& action, nlohmann::json& params,
                     const std::function<grpc::Status()>& body)
{
    std::string error;
    if (!audit.usable(error))
        return undefinedError(error);
    // Whatever the body throws ends in its line too.
    const grpc::Status status = guarded(body);
    params["call"] = call;
    if (!audit.record(origin, action, params, auditResultOf(status), error))
        return undefinedError(error);
    return status;
}

void auditRefusal(AuditLog& audit, const AuditOrigin& origin, const std::string& call,
                  const std::string& action, const grpc::Status& status)
{
    // A line that cannot be written leaves the call refused all the same; the trail's
    // failure stops the next change.
    std::string error;
    audit.record(origin, action, {{"call", call}}, auditResultOf(status), error);
}

}  // namespace gc6890::sila
