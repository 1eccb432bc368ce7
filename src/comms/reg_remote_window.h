// The small hidden registration windows through which one outside program registers
// with the GC or sampler object, receives its status data blocks and the comms-reset
// lock notices, and asks for a restart of all comms or a sampler reset.
#pragma once

#include <cstdint>

#include "platform/platform.h"

class CVarnockGCSystem;
class CVarnockAutoSampler;

class CRegRemoteWindow : public CFrameWnd {
public:
    // Creates the window at once; PreCreateWindow fixes its final class, style and size.
    explicit CRegRemoteWindow(const char* className);
    ~CRegRemoteWindow() override;

    BOOL PreCreateWindow(CREATESTRUCT& cs) override;

    // Handler of "Orvex_HP6890RegisterToCommsMessage": a later registration replaces an
    // earlier one, so one outside window is served at a time.
    LRESULT OnGetRegisterRequest(WPARAM wParam, LPARAM lParam);

    virtual LRESULT OnGetRegisterRequestBody(WPARAM wParam, LPARAM lParam) = 0;
    virtual LRESULT SendDataOut() = 0;

    HWND RegisteredWindow() const { return m_hRegisteredWnd; }

protected:
    // Sends a copy of the block to the registered window; 0 when none is registered.
    LRESULT SendBlock(UINT message, const void* block, unsigned long size);

    const char* m_pszClassName;
    CMenu m_Menu;  // no menu is ever attached
    HWND m_hRegisteredWnd = nullptr;

    DECLARE_MESSAGE_MAP()
};

class CRegRemoteWindowGCSystem : public CRegRemoteWindow {
public:
    explicit CRegRemoteWindowGCSystem(CVarnockGCSystem* owner);

    LRESULT OnGetRegisterRequestBody(WPARAM wParam, LPARAM lParam) override;
    LRESULT SendDataOut() override;
    LRESULT OnExternalRestartAllCommsRequest(WPARAM wParam, LPARAM lParam);

    void LockReset();
    void UnLockReset();

    // Nine 32-bit words filled by the GC object's status read: five float readings and
    // four int flags (pre-run, ready, running, error).
    std::uint32_t m_DataBlock[9] = {0, 0, 0, 0, 0, 0, 0, 0, 1};

private:
    CVarnockGCSystem* m_pOwner;

    DECLARE_MESSAGE_MAP()
};

class CRegRemoteWindowALSSystem : public CRegRemoteWindow {
public:
    explicit CRegRemoteWindowALSSystem(CVarnockAutoSampler* owner);

    LRESULT OnGetRegisterRequestBody(WPARAM wParam, LPARAM lParam) override;
    LRESULT SendDataOut() override;
    LRESULT OnExternalResetAutosamplerRequest(WPARAM wParam, LPARAM lParam);

    // Seven 32-bit words filled by the sampler object's status read.
    std::uint32_t m_DataBlock[7] = {1, 0, 0, 1, 0, 0, 0};

private:
    CVarnockAutoSampler* m_pOwner;

    DECLARE_MESSAGE_MAP()
};
