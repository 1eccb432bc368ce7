#include "service/registration_listener.h"

#include <cstring>

#include "comms/registered_messages.h"

namespace gc6890 {

BEGIN_MESSAGE_MAP(RegistrationListener, CFrameWnd)
ON_REGISTERED_MESSAGE(g_nExtraDataMessage, OnGCData)
ON_REGISTERED_MESSAGE(g_nAutosamplerExtraDataMessage, OnSamplerData)
ON_REGISTERED_MESSAGE(g_nLockCommsResetMessage, OnLock)
ON_REGISTERED_MESSAGE(g_nUnLockCommsResetMessage, OnUnlock)
END_MESSAGE_MAP()

RegistrationListener::RegistrationListener(Handlers handlers) : handlers_(std::move(handlers))
{
    Create(nullptr, "gc6890 service");
}

bool RegistrationListener::registerWith(HWND registrationWindow)
{
    if (!registrationWindow || !IsWindow(registrationWindow))
        return false;
    ::SendMessage(registrationWindow, g_nRegisterToCommsMessage,
                  reinterpret_cast<WPARAM>(GetSafeHwnd()), 0);
    return true;
}

LRESULT RegistrationListener::OnGCData(WPARAM, LPARAM lParam)
{
    GCRemoteData block;
    std::memcpy(&block, reinterpret_cast<const void*>(lParam), sizeof block);
    if (handlers_.gcBlock)
        handlers_.gcBlock(block);
    return 1;
}

LRESULT RegistrationListener::OnSamplerData(WPARAM, LPARAM lParam)
{
    SamplerRemoteData block;
    std::memcpy(&block, reinterpret_cast<const void*>(lParam), sizeof block);
    if (handlers_.samplerBlock)
        handlers_.samplerBlock(block);
    return 1;
}

LRESULT RegistrationListener::OnLock(WPARAM, LPARAM)
{
    if (handlers_.lock)
        handlers_.lock(true);
    return 0;
}

LRESULT RegistrationListener::OnUnlock(WPARAM, LPARAM)
{
    if (handlers_.lock)
        handlers_.lock(false);
    return 0;
}

}  // namespace gc6890
