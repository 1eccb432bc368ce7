#include "gc/gc_fixture.h"

namespace gc6890::test {

BEGIN_MESSAGE_MAP(OutsideProgram, CFrameWnd)
    ON_REGISTERED_MESSAGE(g_nExtraDataMessage, OnData)
    ON_REGISTERED_MESSAGE(g_nLockCommsResetMessage, OnLock)
    ON_REGISTERED_MESSAGE(g_nUnLockCommsResetMessage, OnUnlock)
END_MESSAGE_MAP()

}  // namespace gc6890::test
