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

namespace {

// A data block arrives as a pointer to the sender's memory: copied out before it is handed on.
template <class Block>
LRESULT deliver(LPARAM lParam, const std::function<void(const Block&)>& handler)
{
    Block block;
    std::memcpy(&block, reinterpret_cast<const void*>(lParam), sizeof block);
    if (handler)
        handler(block);
    return 1;
}

}  // namespace

LRESULT RegistrationListener::OnGCData(WPARAM, LPARAM lParam)
{
    return deliver(lParam, handlers_.gcBlock);
}

LRESULT RegistrationListener::OnSamplerData(WPARAM, LPARAM lParam)
{
    return deliver(lParam, handlers_.samplerBlock);
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
