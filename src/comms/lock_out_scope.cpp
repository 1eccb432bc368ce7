#include "comms/lock_out_scope.h"

#include "comms/comms_registry.h"

namespace gc6890 {

LockOutScope::LockOutScope(UnlockReset reset, void* context)
    : reset_(reset), context_(context), held_(!LockedOut() && LockOut())
{}

LockOutScope::~LockOutScope()
{
    if (held_)
        fail();
}

int LockOutScope::commit()
{
    if (!held_)
        return 0;
    held_ = false;
    return FreeLock();
}

int LockOutScope::fail()
{
    if (!held_)
        return 0;
    held_ = false;
    if (reset_)
        reset_(context_);
    FreeLock();
    return 0;
}

void LockOutScope::handOver()
{
    held_ = false;
}

}  // namespace gc6890
