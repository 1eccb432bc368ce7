// A changing SiLA 2 call's line in the audit trail, written as the HTTP door writes its
// changes': the call acts only while the trail takes lines, and its line (who, through which
// peer, which call, how it ended) is written and fsynced before the answer goes out.
// Admission's refusals are AccessCheck's lines; a job's lines are submitJob's.
#pragma once

#include <grpcpp/support/status.h>

#include <functional>
#include <nlohmann/json.hpp>
#include <string>

#include "service/audit_log.h"

namespace gc6890::sila {

// A call's outcome as a line's result: "ok"; "failed: MESSAGE" for an undefined execution
// error or a status that is no SiLA error (the server's own failure); "refused: MESSAGE" for
// the rest (a parameter, the lock, a state that does not allow it).
std::string auditResultOf(const grpc::Status& status);

// Runs `body`, a call admitted already, with its line: `action` (a word of the role table,
// roles.h), `params` as the body leaves them with the call's name added as "call". Refused
// before the body acts while the trail cannot be written; a line that cannot be written
// after it turns the answer into an error saying the change is not confirmed.
grpc::Status audited(AuditLog& audit, const AuditOrigin& origin, const std::string& call,
                     const std::string& action, nlohmann::json& params,
                     const std::function<grpc::Status()>& body);

// A refusal of an admitted call before it acted (the instrument locked by another): its line.
void auditRefusal(AuditLog& audit, const AuditOrigin& origin, const std::string& call,
                  const std::string& action, const grpc::Status& status);

}  // namespace gc6890::sila
