// Who may do what: the one table of actions and the least role each needs. Every door
// (HTTP, the event stream, MQTT commands, SiLA 2) names the action a request asks for and
// asks this table, so that the doors cannot come to differ.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace gc6890 {

// Ordered: each role may do what the one before it may.
enum class Role { Viewer, Operator, Admin };

enum class Action {
    Read,          // status, history, events, jobs, methods, records, sequences, the log
    Load,          // a method into the GC and sampler
    Run,           // an injection and its run
    Stop,          // the run under way
    Reset,         // the sampler
    Zones,         // the heated zones on or off
    UploadMethod,  // a method stored in the folder
    RunSequence,   // a sequence started, paused, resumed or aborted
    Lock,          // the instrument's lock taken or given back by its holder
    DeleteMethod,  // a method removed from the folder
    BreakLock,     // someone else's lock broken
    ReadAudit,     // the audit trail read
};

// The least role that may do `action`.
Role requiredRole(Action action);
bool allows(Role role, Action action);

const char* roleName(Role role);  // "viewer", "operator", "admin"
std::optional<Role> roleNamed(std::string_view name);
const char* actionName(Action action);  // "reading", "loading a method", ...
const char* actionWord(Action action);  // "read", "load", ..., as the audit trail has it

// "deleting a method needs the admin role; ana is an operator"
std::string permissionRefusal(Action action, const std::string& who, Role role);

}  // namespace gc6890
