// The GC's registration window: its status block and the comms-reset lock notices go to
// the registered program, which may also ask for a restart of all comms.
#include "comms/reg_remote_window.h"
#include "comms/registered_messages.h"
#include "gc/varnock_gc_system.h"

BEGIN_MESSAGE_MAP(CRegRemoteWindowGCSystem, CRegRemoteWindow)
ON_REGISTERED_MESSAGE(g_nRestartAllCommsMessage, OnExternalRestartAllCommsRequest)
END_MESSAGE_MAP()

CRegRemoteWindowGCSystem::CRegRemoteWindowGCSystem(CVarnockGCSystem* owner)
    : CRegRemoteWindow(kGCRegRemoteWindowClass), m_pOwner(owner)
{}

LRESULT CRegRemoteWindowGCSystem::OnGetRegisterRequestBody(WPARAM, LPARAM)
{
    // The next status read sends the newcomer a data block.
    if (m_pOwner)
        m_pOwner->m_bDataRequestPending = 1;
    return 1;
}

LRESULT CRegRemoteWindowGCSystem::SendDataOut()
{
    return SendBlock(g_nExtraDataMessage, &m_DataBlock, sizeof m_DataBlock);
}

LRESULT CRegRemoteWindowGCSystem::OnExternalRestartAllCommsRequest(WPARAM, LPARAM)
{
    if (!m_pOwner)
        return 0;
    m_pOwner->CaughtSerialCommsError();
    return 1;
}

void CRegRemoteWindowGCSystem::LockReset()
{
    if (m_hRegisteredWnd)
        ::SendMessage(m_hRegisteredWnd, g_nLockCommsResetMessage, 0, 0);
}

void CRegRemoteWindowGCSystem::UnLockReset()
{
    if (m_hRegisteredWnd)
        ::SendMessage(m_hRegisteredWnd, g_nUnLockCommsResetMessage, 0, 0);
}
