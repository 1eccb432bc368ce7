// The GC object itself: its hidden window and messages, opening and closing its side of
// the shared channel, and its part in the channel's failure and rebuild.
#include "gc/varnock_gc_system.h"

#include <new>

#include "comms/comms_registry.h"
#include "comms/hp6890_serial_comms.h"
#include "comms/reg_remote_window.h"
#include "comms/registered_messages.h"
#include "external/inlet_utils.h"

namespace {

const char kStatusFrequencyPath[] = "Inlets\\Hubrel\\System Timings\\Status Frequency";
const char kAutoPrepRunPath[] = "Inlets\\Hubrel\\Varnock\\AutoPrepRun";
// The host polls no faster than this, in milliseconds.
constexpr int kMaxStatusFrequency = 5500;

}  // namespace

int CVarnockGCSystem::m_sCommsInitialised = 0;
int CVarnockGCSystem::m_sCommsRestartFailed = 0;

BEGIN_MESSAGE_MAP(CVarnockGCSystem, CGCSystem)
ON_REGISTERED_MESSAGE(g_nCommsFailureMessage, OnSerialCommsError)
ON_REGISTERED_MESSAGE(g_nCommsRestoreMessage, OnSerialCommsRestore)
ON_REGISTERED_MESSAGE(g_nRefreshStatusMessage, OnRefreshStatus)
END_MESSAGE_MAP()

CVarnockGCSystem::CVarnockGCSystem()
{
    // The window is this object's identity towards the channel registry; PreCreateWindow
    // fixes its final settings.
    CreateEx(0, kGCControlWindowClass, kGCControlWindowClass, 0, 100, 100, 100, 30, nullptr,
             nullptr);
    m_pChannel = GetSerialComms(GetSafeHwnd());
    m_bDataRequestPending = 0;
    m_pRegRemoteWindow = nullptr;
    m_bFirstStatusRead = 1;
    m_bGCCommsStarted = 0;

    int frequency = kMaxStatusFrequency;
    ReadRegistryPath(kStatusFrequencyPath, frequency, HKEY_LOCAL_MACHINE);
    if (frequency > kMaxStatusFrequency)
        WriteRegistryPath(kStatusFrequencyPath, kMaxStatusFrequency, HKEY_LOCAL_MACHINE);

    m_nAutoPrepRun = 0;
    ReadRegistryPath(kAutoPrepRunPath, m_nAutoPrepRun, HKEY_LOCAL_MACHINE);
}

CVarnockGCSystem::~CVarnockGCSystem()
{
    // The GC side is not stopped here: that is CloseDownComms().
    m_bGCCommsStarted = 0;
    ReleaseSerialComms(GetSafeHwnd());
    delete m_pRegRemoteWindow;
    m_pRegRemoteWindow = nullptr;
    m_sCommsInitialised = 0;
}

BOOL CVarnockGCSystem::PreCreateWindow(CREATESTRUCT& cs)
{
    AfxRegisterWndClass(kGCControlWindowClass,
                        CS_GLOBALCLASS | CS_CLASSDC | CS_HREDRAW | CS_VREDRAW, nullptr,
                        reinterpret_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)), nullptr);
    cs.lpszClass = kGCControlWindowClass;
    cs.lpszName = kGCControlWindowClass;
    cs.style = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;  // never made visible
    cs.dwExStyle = WS_EX_TOPMOST | WS_EX_ACCEPTFILES | WS_EX_TOOLWINDOW;
    cs.x = 100;
    cs.y = 100;
    cs.cx = 100;
    cs.cy = 30;
    cs.hwndParent = nullptr;
    cs.hMenu = nullptr;
    cs.hInstance = AfxGetInstanceHandle();
    return CWnd::PreCreateWindow(cs);
}

int CVarnockGCSystem::InitialiseComms()
{
    int ok = CGCSystem::InitialiseComms();
    if (ok) {
        ok = m_pChannel ? m_pChannel->StartGCComms() : 0;
        m_bGCCommsStarted = ok ? 1 : 0;
    }
    if (!m_pRegRemoteWindow)
        m_pRegRemoteWindow = new (std::nothrow) CRegRemoteWindowGCSystem(this);
    m_sCommsInitialised = 1;
    // These run whether the start succeeded or not; each fails quietly on its own.
    ClearDisplay();
    InitialiseContactClosure();
    GetAutoPrepRunState();
    return ok;
}

int CVarnockGCSystem::Initialise()
{
    return CGCSystem::Initialise();
}

int CVarnockGCSystem::GenericOp(UINT operation, long)
{
    constexpr UINT kPrepareRun = 1;
    if (operation != kPrepareRun)
        return 1;
    if (!m_pChannel)
        return 0;
    CString command = "GCHTPR";
    if (!m_pChannel->WriteStringToGC(command, 0))
        return 0;
    CString reply;  // the GC's answer is read off the line; its content does not matter
    return m_pChannel->ReceiveStringFromGC(reply, 0) ? 1 : 0;
}

int CVarnockGCSystem::CloseDownComms()
{
    if (!CGCSystem::CloseDownComms())
        return 0;
    // Without a channel (after a failure, before the rebuild handed a new one) there is
    // no GC side to stop: nothing is sent and closing counts as done. The rebuilt
    // channel starts with both sides stopped anyway.
    if (!m_pChannel)
        return 1;
    return m_pChannel->StopGCComms();
}

void CVarnockGCSystem::CaughtSerialCommsError()
{
    if (m_pChannel)
        NotifySerialCommsError();
}

unsigned int CVarnockGCSystem::ViewReg()
{
    return m_pChannel ? static_cast<unsigned int>(m_pChannel->ViewReg()) : 0u;
}

unsigned int CVarnockGCSystem::EditReg()
{
    return m_pChannel ? static_cast<unsigned int>(m_pChannel->SetupReg()) : 0u;
}

LRESULT CVarnockGCSystem::OnSerialCommsError(WPARAM, LPARAM)
{
    return HandleSerialCommsError();
}

LRESULT CVarnockGCSystem::OnSerialCommsRestore(WPARAM, LPARAM channel)
{
    auto* offered = reinterpret_cast<CHP6890SerialComms*>(channel);
    if (!IsValidCommsObject(offered))
        return 0;
    HandleSerialCommsRestore(offered);
    ClearDisplay();
    return 1;
}

LRESULT CVarnockGCSystem::OnRefreshStatus(WPARAM, LPARAM)
{
    m_bRefreshPending = 1;
    return 1;
}

int CVarnockGCSystem::HandleSerialCommsError()
{
    // A line in flight cannot be abandoned: refuse, and the registry tells the user.
    if (CHP6890SerialComms::Busy())
        return 0;
    m_pChannel = nullptr;
    m_bRefreshPending = 1;
    return 1;
}

void CVarnockGCSystem::HandleSerialCommsRestore(CHP6890SerialComms* channel)
{
    if (m_pChannel)
        return;
    m_pChannel = channel;
    if (m_sCommsInitialised == 1 && !m_pChannel->StartGCComms())
        m_sCommsRestartFailed = 1;  // the next status read reports it
}

void CVarnockGCSystem::ClearDisplay()
{
    FlashStatusText("For Help, press F1 ", "", 1);
    if (m_bGCCommsStarted == 1 && m_pChannel) {
        CString clear = "GCHTDL";
        m_pChannel->WriteStringToGC(clear, 1);
    }
}

void CVarnockGCSystem::InitialiseContactClosure()
{
    if (!m_pChannel)
        return;
    CString reset = "V7V7SW 0";  // no answer comes for the contact closure
    m_pChannel->WriteStringToGC(reset, 1);
}

int CVarnockGCSystem::ReadInstalledHardware(gc6890::InstalledHardware& hardware, int& runState)
{
    gc6890::LockOutScope scope = LockOutForOperation();
    if (!scope.held())
        return 0;
    gc6890::GCRunState state;
    if (!m_pChannel || !gc6890::QueryInstalledHardware(*m_pChannel, hardware)) {
        LogCommsFailure("Failed to read the GC configuration report\n");
        return scope.fail();
    }
    if (!ReadRunState(state))
        return scope.fail();
    runState = state.state;
    return scope.commit();
}

int CVarnockGCSystem::GetAutoPrepRunState()
{
    gc6890::LockOutScope scope = LockOutForOperation();
    if (!scope.held())
        return 0;
    gc6890::GCRunState runState;
    if (!ReadRunState(runState))
        return scope.fail();
    // A GC found in pre-run (or later) after start-up counts as preparing itself.
    m_nAutoPrepRun = runState.state;
    WriteRegistryPath(kAutoPrepRunPath, m_nAutoPrepRun, HKEY_LOCAL_MACHINE);
    return scope.commit();
}

// ---- helpers shared by the GC operations ----------------------------------------------

gc6890::LockOutScope CVarnockGCSystem::LockOutForOperation()
{
    return gc6890::LockOutScope(
        [](void* gc) { static_cast<CVarnockGCSystem*>(gc)->SendUnLockReset(); }, this);
}

void CVarnockGCSystem::SendUnLockReset()
{
    if (m_pRegRemoteWindow)
        m_pRegRemoteWindow->UnLockReset();
}

bool CVarnockGCSystem::ReadRunState(gc6890::GCRunState& state)
{
    if (m_pChannel && gc6890::QueryRunState(*m_pChannel, state))
        return true;
    LogCommsFailure("GC READ STATUS: Failed to get run state and time\n");
    return false;
}

void CVarnockGCSystem::LogCommsFailure(const char* text)
{
    if (m_pChannel) {
        m_pChannel->LogError(text, 1);
        return;
    }
    // No channel (between a failure and the rebuild): the log is the same file.
    CHP6890ErrorLog log;
    log.LogError(text, 1);
}
