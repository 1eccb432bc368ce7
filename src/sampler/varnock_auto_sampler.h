// The sampler object: the host's handle on the automatic liquid sampler that sits on the
// GC. The sampler has no line of its own; it is addressed as device "01" through the GC's
// pass-through port on the shared channel. The object loads the sampler's part of a
// stored method as set points, starts runs by injecting from a vial (handing a late
// answer to a timer window), polls status, stops and resets the sampler, and prints its
// method into the experiment record.
#pragma once

#include <cstdint>

#include "comms/reg_remote_window.h"
#include "external/method_library.h"
#include "interface/inlet_select.h"
#include "interface/instrument_base.h"
#include "platform/platform.h"
#include "sampler/sampler_types.h"

class CHP6890SerialComms;
class CRegRemoteWindowALSSystem;
class CVarnockAutoSampler;
namespace gc6890 {
class LockOutScope;
}

// The dialog template of the timer window: an invisible pop-up without controls.
inline constexpr UINT kCallbackWindowTemplate = 134;

// Awaits the sampler's late answer to an injection: polls once a second for at most
// five minutes, leaves the outcome in its owner's flags and then deletes itself.
class CVarnockAutoSamplerCallbackWnd : public CDialog {
    friend class CVarnockAutoSampler;

public:
    // Clears the owner's pointer to this window.
    ~CVarnockAutoSamplerCallbackWnd() override;

    CVarnockAutoSampler* m_pOwner;
    UINT m_nTimerID = 0;
    DWORD m_dwStartTime;
    DWORD m_dwTimeout = 300000;
    // Set while the tick asks the sampler for its answer, so that a sampler destroyed
    // meanwhile leaves the window to end itself instead of deleting it under the tick.
    bool m_bInTick = false;

    static constexpr UINT kPollIntervalMs = 1000;

private:
    explicit CVarnockAutoSamplerCallbackWnd(CVarnockAutoSampler* owner);
    // 1 when the window exists and its 1000 ms timer was started.
    virtual int StartCallbackTimer();
    static void CALLBACK WaitForALSMethodStartResponse(HWND window, UINT message, UINT_PTR timerId,
                                                       DWORD time);
    // Puts the outcome into the owner's flags (when it still has one).
    void Settle(int done, int ok);
    // Destroys the window (ending the timer) and deletes this object.
    void Finish();
};

class CVarnockAutoSampler : public CAutoSampler {
    friend class CVarnockAutoSamplerCallbackWnd;

public:
    // Creates the hidden window first, then asks the registry for the channel under it.
    CVarnockAutoSampler();
    ~CVarnockAutoSampler() override;

    BOOL PreCreateWindow(CREATESTRUCT& cs) override;

    // The host interface (CAutoSampler), in slot order.
    using CAutoSampler::LoadMethod;
    using CAutoSampler::StartMethod;
    using CAutoSampler::WriteExpRecord;
    // The sampler side of the channel started; 0 without a channel or when it failed.
    int InitialiseComms() override;
    // Learns the injector and inlet configuration; always 1.
    int Initialise() override;
    // 1 when the status was read, also when its exchange failed (no answer, another head,
    // a code outside 0 to 3): that failure is broadcast and shows as the record's Error and
    // NotReady flags. 0 only when a restored channel's restart failed or a failure
    // exception was caught (broadcast too).
    int ReadStatus(CInletSystemStatus& status) override;
    // 1 when the sampler accepted the method's set points; 0 (nothing sent) when the
    // lock-out is taken, the file does not open or the configuration does not allow the
    // method (after the "6890 Method Error" box), or when the sampler refused them.
    int LoadMethod(const CString& name) override;
    // Injects the next vial and advances the vial counter.
    int StartMethod() override;
    // Loads the method, then injects its first vial.
    int StartMethod(const CString& method) override;
    // Loads the method with the volume's step, then injects the vial given as text.
    int StartMethod(const CString& method, const CString& vial, float volume) override;
    // 1 when the sampler answered its return-all with 0; ends an injection wait first.
    int StopMethod() override;
    int CloseDownComms() override;
    // 1 when the method's sampler part was printed into the record; 0 when the file did
    // not open (the record is left alone).
    int WriteExpRecord(CGenericExpRecord* record, const CString& method) override;
    int Injecting() override;
    int MethodRunning() override;
    int PostRunning() override;
    int NotReady(CString& text) override;
    int Error(CString& text) override;
    // Loads the method with the volume's step, then injects the vial given as a number.
    virtual int StartMethod(const CString& method, int vial, float volume);
    // Stop and return-all under the lock-out; 1 when the sampler answered 0.
    virtual int ResetSampler();

    // The load with this volume step in every group; leaves the vial counter and the
    // back-vial offset alone.
    int LoadMethod(const CString& name, int volumeStep);
    // The thermal-zone flag of the side's inlet in the GC method; 0 for an inlet type
    // outside 1 to 9.
    int CheckInletTZOnFromMethod(tag_INLET_SEL side, const CHP6890Method& gcMethod);

    tag_ALS_STATUS GetALSStatus();
    tag_HP6890_TYPE Type() const { return m_n6890Type; }
    void Set6890Type(CString firmware);
    int GetInjectorConfig();

    void CaughtSerialCommsError();
    void HandleSerialCommsError();
    void HandleSerialCommsRestore(CHP6890SerialComms* channel);
    LRESULT OnSerialCommsError(WPARAM wParam, LPARAM lParam);
    LRESULT OnSerialCommsRestore(WPARAM wParam, LPARAM channel);

    // The injection command for the current selection, then its exchange.
    int InjectSample(int vial);
    int InjectSample(CString vial);
    int InjectSampleBody(CString command);
    int CheckALSSInjectReturn(int code) { return code == 0 ? 1 : 0; }
    // One poll for the late injection answer. A line found gone settles the injection as
    // failed, frees the lock-out and reports the comms failure.
    int GetStartMethodResponse();

    CRegRemoteWindowALSSystem* m_pRegRemoteWindow = nullptr;
    int m_bFrontInletConfigured = 0;
    int m_bBackInletConfigured = 0;
    int m_bFrontInjectorPresent = 0;
    int m_bBackInjectorPresent = 0;
    int m_bInjectResponseDone = 0;
    int m_bWaitingForInjectResponse = 0;
    int m_bInjectResponseOK = 0;
    tag_HP6890_TYPE m_n6890Type = HP6890_STANDARD;
    CVarnockAutoSamplerCallbackWnd* m_pCallbackWnd = nullptr;
    int m_bStatusSendPending = 0;
    CHP6890SerialComms* m_pSerialComms = nullptr;

    // Class-wide state, one for all sampler objects.
    static int m_sCommsInitialised;
    static int m_sCommsRestartFailed;
    static int m_sInjectorSelection;
    static int m_sNextVial;
    static int m_sOffsetBackVials;

    // The sampler status block kept by the status read between calls.
    static gc6890::SamplerRemoteData m_sStatusBlock;
    // The numbers the "01HTSTATUS" answer must carry.
    static constexpr int kStatusAnswerFields = 7;

    // Read attempts for the return-all answer before the exchange counts as broken.
    static constexpr int kReturnAllReadAttempts = 100;

private:
    int LoadMethodBody(const CString& name, int volumeStep, bool fromHost);
    // Sets m_sInjectorSelection from the method's injector flags; 0 after the error box.
    int ChooseInjector(const CALS6890Method& alsMethod, const CHP6890Method& gcMethod);
    int StartWithVolume(const CString& method, float volume);
    // Hands the injection's lock-out over to the timer window; fails it when the window
    // cannot be started.
    int StartWaitingForInjectResponse(gc6890::LockOutScope& scope);
    int ReadStatusBody(CInletSystemStatus& status);
    void SendStatusBlockIfChanged(bool force);
    // Writes "01HTRTN_ALL" and reads its answer: 1 for code 0.
    int ReturnAll();

    DECLARE_MESSAGE_MAP()
};
