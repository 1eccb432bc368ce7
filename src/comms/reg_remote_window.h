// The small hidden registration windows through which one outside program registers
// with the GC or sampler object, receives its status data blocks and the comms-reset
// lock notices, and asks for a restart of all comms or a sampler reset. The subclasses'
// bodies live beside their objects (gc/gc_reg_remote_window.cpp,
// sampler/sampler_reg_remote_window.cpp): comms knows its owners by name only.
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

namespace gc6890 {

// The GC's data block as the outside program reads it: nine 32-bit words.
struct GCRemoteData {
    float ovenTemperature = 0.0f;
    float column1Pressure = 0.0f;
    float column2Pressure = 0.0f;
    float column1Flow = 0.0f;
    float column2Flow = 0.0f;
    std::int32_t preRun = 0;
    std::int32_t ready = 0;
    std::int32_t running = 0;
    std::int32_t error = 1;  // in error until a poll has read the GC
};
static_assert(sizeof(GCRemoteData) == 36, "the outside program reads nine 32-bit words");

}  // namespace gc6890

class CRegRemoteWindowGCSystem : public CRegRemoteWindow {
public:
    explicit CRegRemoteWindowGCSystem(CVarnockGCSystem* owner);

    LRESULT OnGetRegisterRequestBody(WPARAM wParam, LPARAM lParam) override;
    LRESULT SendDataOut() override;
    LRESULT OnExternalRestartAllCommsRequest(WPARAM wParam, LPARAM lParam);

    void LockReset();
    void UnLockReset();

    // Filled by the GC object's status read.
    gc6890::GCRemoteData m_DataBlock;

private:
    CVarnockGCSystem* m_pOwner;

    DECLARE_MESSAGE_MAP()
};

namespace gc6890 {

// The sampler's data block as the outside program reads it: seven 32-bit flags.
struct SamplerRemoteData {
    std::uint32_t error = 1;
    std::uint32_t ready = 0;
    std::uint32_t busy = 0;
    std::uint32_t frontInletConfigured = 1;
    std::uint32_t backInletConfigured = 0;
    std::uint32_t frontInjectorPresent = 0;
    std::uint32_t backInjectorPresent = 0;

    bool operator==(const SamplerRemoteData&) const = default;
};
static_assert(sizeof(SamplerRemoteData) == 28, "the outside program reads seven 32-bit words");

}  // namespace gc6890

class CRegRemoteWindowALSSystem : public CRegRemoteWindow {
public:
    explicit CRegRemoteWindowALSSystem(CVarnockAutoSampler* owner);

    LRESULT OnGetRegisterRequestBody(WPARAM wParam, LPARAM lParam) override;
    LRESULT SendDataOut() override;
    LRESULT OnExternalResetAutosamplerRequest(WPARAM wParam, LPARAM lParam);

    // Filled by the sampler object's status read.
    gc6890::SamplerRemoteData m_DataBlock;

private:
    CVarnockAutoSampler* m_pOwner;

    DECLARE_MESSAGE_MAP()
};
