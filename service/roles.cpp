#include "service/roles.h"

#include <array>

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
constexpr std::array kTable{
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
};

// Rows in the order of Action: a row missing or out of place does not compile.
static_assert([] {
    for (std::size_t i = 0; i < kTable.size(); ++i)
        if (kTable[i].action != static_cast<Action>(i))
            return false;
    return kTable.size() == static_cast<std::size_t>(Action::ReadAudit) + 1;
}());

const ActionRow& rowOf(Action action)
{
    return kTable[static_cast<std::size_t>(action)];
}

constexpr std::array<const char*, 3> kRoleNames{"viewer", "operator", "admin"};

}  // namespace

Role requiredRole(Action action)
{
    return rowOf(action).least;
}

bool allows(Role role, Action action)
{
    return role >= requiredRole(action);
}

const char* roleName(Role role)
{
    return kRoleNames[static_cast<std::size_t>(role)];
}

std::optional<Role> roleNamed(std::string_view name)
{
    for (std::size_t i = 0; i < kRoleNames.size(); ++i)
        if (name == std::string_view(kRoleNames[i]))
            return static_cast<Role>(i);
    return std::nullopt;
}

const char* actionName(Action action)
{
    return rowOf(action).name;
}

const char* actionWord(Action action)
{
    return rowOf(action).word;
}

std::string permissionRefusal(Action action, const std::string& who, Role role)
{
    const std::string have = roleName(role);
    return std::string(actionName(action)) + " needs the " + roleName(requiredRole(action)) +
           " role; " + who + " is " + (have == "admin" || have == "operator" ? "an " : "a ") + have;
}

}  // namespace gc6890
