// The HTTP door's part of the audit trail (audit_log.h): each change's line, written around
// its route's handler from what the request asked and what the answer says, and the line of
// a change refused at the door. Every change route is covered by being one (RouteTable's
// aroundChanges), not by each handler remembering to write.
#pragma once

#include <httplib.h>

#include "service/accounts.h"
#include "service/audit_log.h"
#include "service/route_table.h"

namespace gc6890 {

class MethodStore;
struct ServiceState;

// The change's name in the trail: load, run, stop, reset, zones, upload, delete,
// sequence-start|pause|resume|abort, lock-break.
std::string httpAuditAction(const RouteTable::Route& route, const httplib::Request& req);

// Runs `handler` for a change and appends its line before the answer goes out: when the line
// cannot be written, the answer is a 503 naming the audit folder instead, and when the trail
// is failing, the change is refused with it before anything is done.
void auditedChange(ServiceState& state, const MethodStore& methods, const AuditOrigin& origin,
                   const RouteTable::Route& route, const httplib::Request& req,
                   httplib::Response& res, const RouteTable::Handler& handler);

// The line of a change refused at the door: a known account's own line; a refusal without a
// valid token is summed with the others from its address.
void auditRefusal(ServiceState& state, const Admission& admission, const std::string& action,
                  const httplib::Request& req, const std::string& refusal);

}  // namespace gc6890
