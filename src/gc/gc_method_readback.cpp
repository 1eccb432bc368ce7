// The GC object's read-back of the GC's current method, which a download edits.
#include "comms/hp6890_serial_comms.h"
#include "gc/varnock_gc_system.h"
#include "method/method_command.h"
#include "method/method_readback.h"

int CVarnockGCSystem::ReadLoopValue()
{
    return gc6890::MethodReadAttempts();
}

int CVarnockGCSystem::ReadSleepValue()
{
    return gc6890::MethodReadPauseMs();
}

int CVarnockGCSystem::ReadCommandListFromGC(CCommandStringList& list)
{
    return m_pChannel ? gc6890::ReadMethodFromGC(*m_pChannel, list) : 0;
}

int CVarnockGCSystem::ConvertGCReturnListIntoCommandList(CString text, CCommandStringList& list)
{
    return gc6890::ConvertMethodText(m_pChannel, text, list);
}

int CVarnockGCSystem::CreateMethodCommandFromCommandList(const CCommandStringList& list,
                                                         CMethodCommand& method)
{
    gc6890::SortIntoMethod(list, method);
    return 1;
}
