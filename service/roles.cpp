#include "service/roles.h"

#include "platform/enum_names.h"

namespace gc6890 {

namespace {

struct ActionRow {
    Action action;
    const char* name;  // as a refusal says it: "<name> needs the <role> role"
    const char* word;  // as the audit trail's lines name it
    Role least;
};

// The role table (docs/security.md shows it to users). Lock and unlock go with the
// changes they guard: whoever may change the instrument may keep it for themselves.
constexpr EnumRows kTable(
    {
        ActionRow{Action::Read, "reading", "read", Role::Viewer},
        ActionRow{Action::Load, "loading a method", "load", Role::Operator},
        ActionRow{Action::Run, "starting a run", "run", Role::Operator},
        ActionRow{Action::Stop, "stopping a run", "stop", Role::Operator},
        ActionRow{Action::Reset, "resetting the sampler", "reset", Role::Operator},
        ActionRow{Action::Zones, "switching the heated zones", "zones", Role::Operator},
        ActionRow{Action::UploadMethod, "uploading a method", "upload", Role::Operator},
        ActionRow{Action::RunSequence, "running a sequence", "sequence", Role::Operator},
        ActionRow{Action::Lock, "locking or unlocking the instrument", "lock", Role::Operator},
        ActionRow{Action::DeleteMethod, "deleting a method", "delete", Role::Admin},
        ActionRow{Action::BreakLock, "breaking another client's lock", "lock-break", Role::Admin},
        ActionRow{Action::ReadAudit, "reading the audit trail", "audit", Role::Admin},
    },
    &ActionRow::action, Action::ReadAudit);

constexpr EnumNames kRoleNames({"viewer", "operator", "admin"}, Role::Admin);

}  // namespace

Role requiredRole(Action action)
{
    return kTable[action].least;
}

bool allows(Role role, Action action)
{
    return role >= requiredRole(action);
}

const char* roleName(Role role)
{
    return kRoleNames(role);
}

std::optional<Role> roleNamed(std::string_view name)
{
    return kRoleNames.find(name);
}

const char* actionName(Action action)
{
    return kTable[action].name;
}

const char* actionWord(Action action)
{
    return kTable[action].word;
}

std::string permissionRefusal(Action action, const std::string& who, Role role)
{
    const std::string have = roleName(role);
    return std::string(actionName(action)) + " needs the " + roleName(requiredRole(action)) +
           " role; " + who + " is " + (have == "admin" || have == "operator" ? "an " : "a ") + have;
}

}  // namespace gc6890
