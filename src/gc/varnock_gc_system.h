// The GC object: the host's handle on the gas chromatograph. It owns a hidden window (its
// identity towards the channel registry), a registration window for one outside program,
// and a pointer to the shared serial channel; it polls status, controls runs, downloads
// stored methods and writes the experiment record.
#pragma once

#include <functional>

#include "command/command_lists.h"
#include "command/command_string.h"
#include "comms/lock_out_scope.h"
#include "external/method_library.h"
#include "gc/gc_queries.h"
#include "interface/inlet_select.h"
#include "interface/instrument_base.h"
#include "platform/platform.h"

class CHP6890SerialComms;
class CRegRemoteWindowGCSystem;
class CIntFloatArray;

namespace gc6890 {
namespace test {
struct GCSystemProbe;  // unit tests reach the private steps through this
}
// Told after each method line the download has sent: lines sent so far, lines in all.
using DownloadProgressObserver = std::function<void(int sent, int total)>;
}  // namespace gc6890

class CVarnockGCSystem : public CGCSystem {
public:
    CVarnockGCSystem();
    ~CVarnockGCSystem() override;

    BOOL PreCreateWindow(CREATESTRUCT& cs) override;

    // The host interface (CGCSystem), in slot order.
    using CGCSystem::StartMethod;
    int InitialiseComms() override;
    int Initialise() override;
    int GenericOp(UINT operation, long argument) override;
    int ReadStatus(CInletSystemStatus& status) override;
    int SwitchGC(Switch state) override;
    int LoadMethod(const CString& name) override;
    int StartMethod() override;
    int StartMethod(const CString& name) override;
    int StopMethod() override;
    int CloseDownComms() override;
    int GetMethodLength(const CString& name, float& length) override;
    int WriteExpRecord(CGenericExpRecord* record, const CString& name) override;
    int GCOn() override;
    int MethodRunning() override;
    int PostRunning() override;
    int NotReady(CString& reason) override;
    int Error(CString& reason) override;
    virtual int PrepRunning();

    // Live readings; 0.0 when they cannot be had.
    float GetElapsedTime();
    float GetCurrentOvenTemp();
    float GetCurrentColumnPressure();
    float GetCurrentColumnFlow();
    float GetCurrentColumn2Pressure();
    float GetCurrentColumn2Flow();

    // Not part of the host interface: the hardware the GC reports and its run state (the
    // "GCHTRI" code), for a method check before a download. 1, or 0 when either could not
    // be had (logged).
    int ReadInstalledHardware(gc6890::InstalledHardware& hardware, int& runState);

    void CaughtSerialCommsError();
    unsigned int ViewReg();
    unsigned int EditReg();

    // Registered-message handlers.
    LRESULT OnSerialCommsError(WPARAM wParam, LPARAM lParam);
    LRESULT OnSerialCommsRestore(WPARAM wParam, LPARAM channel);
    LRESULT OnRefreshStatus(WPARAM wParam, LPARAM lParam);

    // Not part of the host interface: lets a host show the progress of a method download.
    // Observing changes nothing of the download's sequence.
    void SetDownloadProgressObserver(gc6890::DownloadProgressObserver observer)
    {
        m_DownloadProgress = std::move(observer);
    }

    int m_bDataRequestPending = 0;
    int m_bRefreshPending = 0;
    int m_bFirstStatusRead = 1;
    int m_bGCCommsStarted = 0;
    int m_nAutoPrepRun = 0;
    CHP6890SerialComms* m_pChannel = nullptr;
    CRegRemoteWindowGCSystem* m_pRegRemoteWindow = nullptr;
    CPressure m_FrontInletPressure;
    CPressure m_BackInletPressure;

    static int m_sCommsInitialised;
    static int m_sCommsRestartFailed;

private:
    friend struct gc6890::test::GCSystemProbe;

    int HandleSerialCommsError();
    void HandleSerialCommsRestore(CHP6890SerialComms* channel);
    void ClearDisplay();
    void InitialiseContactClosure();
    int GetAutoPrepRunState();
    int ReadStatusBody(CInletSystemStatus& status);

    // The lock-out for one operation that talks to the GC (not held when another operation
    // holds it); its failure exit tells the registered outside program (SendUnLockReset)
    // before the lock-out is freed.
    gc6890::LockOutScope LockOutForOperation();
    void SendUnLockReset();
    // One live reading under its own short lock-out; 0.0 when it cannot be had.
    float QueryReading(gc6890::GCReading reading);
    // A failure text into the comms log, severity 1.
    void LogCommsFailure(const char* text);
    // The GC's run state and times; a failure is logged and gives false.
    bool ReadRunState(gc6890::GCRunState& state);
    // One question about the run state under its own lock-out, as PrepRunning,
    // MethodRunning and PostRunning ask it: 1 when `holds` says yes; 0 when it says no or
    // the GC cannot be asked (`failureText` logged, the failure broadcast), each 0 with the
    // unlock-reset.
    int AskRunState(const char* failureText, bool (*holds)(const gc6890::GCRunState& state));

    gc6890::DownloadProgressObserver m_DownloadProgress;

    DECLARE_MESSAGE_MAP()
};
