// The sampler's registration window: its status block goes to the registered program,
// which may also ask for a sampler reset.
#include "comms/reg_remote_window.h"
#include "comms/registered_messages.h"
#include "sampler/varnock_auto_sampler.h"

BEGIN_MESSAGE_MAP(CRegRemoteWindowALSSystem, CRegRemoteWindow)
ON_REGISTERED_MESSAGE(g_nResetSamplerMessage, OnExternalResetAutosamplerRequest)
END_MESSAGE_MAP()

CRegRemoteWindowALSSystem::CRegRemoteWindowALSSystem(CVarnockAutoSampler* owner)
    : CRegRemoteWindow(kALSRegRemoteWindowClass), m_pOwner(owner)
{}

LRESULT CRegRemoteWindowALSSystem::OnGetRegisterRequestBody(WPARAM, LPARAM)
{
    // The newcomer gets the block on the next status read even if nothing changed.
    if (m_pOwner)
        m_pOwner->m_bStatusSendPending = 1;
    return 1;
}

LRESULT CRegRemoteWindowALSSystem::SendDataOut()
{
    return SendBlock(g_nAutosamplerExtraDataMessage, &m_DataBlock, sizeof m_DataBlock);
}

LRESULT CRegRemoteWindowALSSystem::OnExternalResetAutosamplerRequest(WPARAM, LPARAM)
{
    if (!m_pOwner)
        return 0;
    return m_pOwner->ResetSampler();
}
