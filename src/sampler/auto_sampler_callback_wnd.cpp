// The timer window that awaits the sampler's late injection answer.
#include "comms/comms_registry.h"
#include "diagnostics/dump.h"
#include "sampler/varnock_auto_sampler.h"

namespace {

// The window's template: an invisible pop-up without controls or caption.
[[maybe_unused]] const bool g_callbackTemplateAdded = [] {
    gc6890::addDialogTemplate(kCallbackWindowTemplate,
                              {WS_POPUP | DS_SETFONT, 186, 95, "MS Sans Serif", 8});
    return true;
}();

}  // namespace

CVarnockAutoSamplerCallbackWnd::CVarnockAutoSamplerCallbackWnd(CVarnockAutoSampler* owner)
    : m_pOwner(owner), m_dwStartTime(timeGetTime())
{}

CVarnockAutoSamplerCallbackWnd::~CVarnockAutoSamplerCallbackWnd()
{
    if (m_pOwner)
        m_pOwner->m_pCallbackWnd = nullptr;
}

int CVarnockAutoSamplerCallbackWnd::StartCallbackTimer()
{
    if (!IsWindow(GetSafeHwnd()))
        return 0;
    m_nTimerID =
        static_cast<UINT>(SetTimer(m_nTimerID, kPollIntervalMs, &WaitForALSMethodStartResponse));
    return m_nTimerID != 0 ? 1 : 0;
}

void CVarnockAutoSamplerCallbackWnd::Settle(int done, int ok)
{
    m_pOwner->m_bInjectResponseDone = done;
    m_pOwner->m_bInjectResponseOK = ok;
}

void CVarnockAutoSamplerCallbackWnd::Finish()
{
    DestroyWindow();
    delete this;
}

void CALLBACK CVarnockAutoSamplerCallbackWnd::WaitForALSMethodStartResponse(HWND window, UINT,
                                                                            UINT_PTR, DWORD)
{
    auto* wait = dynamic_cast<CVarnockAutoSamplerCallbackWnd*>(CWnd::FromHandle(window));
    if (!wait)
        return;
    // Once its sampler is gone the window has nobody to answer for. It touches nothing
    // else and, rather than tick for ever, ends itself (our choice: nothing is left behind).
    if (!wait->m_pOwner) {
        wait->Finish();
        return;
    }
    // Someone else freed the lock-out (a comms reset, say): the answer is lost.
    if (!LockedOut()) {
        wait->Settle(1, 0);
        wait->Finish();
        return;
    }
    wait->m_bInTick = true;
    const int answered = wait->m_pOwner->GetStartMethodResponse();
    wait->m_bInTick = false;
    if (!wait->m_pOwner) {  // its sampler went away while it answered
        wait->Finish();
        return;
    }
    if (!LockedOut()) {
        wait->Settle(1, answered);
        wait->Finish();
        return;
    }
    if (answered) {
        wait->Finish();
        return;
    }
    if (timeGetTime() - wait->m_dwStartTime <= wait->m_dwTimeout)
        return;
    // Five minutes without an answer: the injection is taken to have happened.
    CString message = "TIMEOUT OF TIMEOUT WINDOW OCCURED\n";
    Dump(message);
    FreeLock();
    wait->Settle(1, 1);
    wait->Finish();
}
