// The sampler object's life and its side of the channel: the hidden window, start-up and
// shut-down, the instrument variant, the injector configuration, and the reaction to a
// failed or restored channel.
#include "comms/comms_registry.h"
#include "comms/hp6890_serial_comms.h"
#include "comms/reg_remote_window.h"
#include "comms/registered_messages.h"
#include "external/inlet_utils.h"
#include "sampler/sampler_commands.h"
#include "sampler/varnock_auto_sampler.h"

namespace {

constexpr const char* k6890TypePath = "Inlets\\Hubrel\\Varnock\\6890Type";

// Caption, system menu, minimise box; never made visible.
constexpr DWORD kControlWindowStyle = 0x00CA0000;
// Topmost, accepts dropped files, tool window.
constexpr DWORD kControlWindowExStyle = 0x98;

struct ConfigQuery {
    const char* command;
    const char* replyHead;
};
constexpr ConfigQuery kFrontInletQuery = {"IFHTCW ?", "HTIFCW"};
constexpr ConfigQuery kBackInletQuery = {"IBHTCW ?", "HTIBCW"};
constexpr ConfigQuery kInjectorQuery = {"ASHTCW ?", "HTASCW"};
// Inlet type code of a front inlet the sampler cannot inject into (none fitted).
constexpr int kNoFrontInletCode = 8;
// Back inlets the sampler can inject into have type codes below this.
constexpr int kFirstUnusableBackInletCode = 7;

}  // namespace

int CVarnockAutoSampler::m_sCommsInitialised = 0;
int CVarnockAutoSampler::m_sCommsRestartFailed = 0;
int CVarnockAutoSampler::m_sInjectorSelection = gc6890::sampler::kFrontInjector;
int CVarnockAutoSampler::m_sNextVial = 0;
int CVarnockAutoSampler::m_sOffsetBackVials = 0;

BEGIN_MESSAGE_MAP(CVarnockAutoSampler, CAutoSampler)
ON_REGISTERED_MESSAGE(g_nCommsFailureMessage, OnSerialCommsError)
ON_REGISTERED_MESSAGE(g_nCommsRestoreMessage, OnSerialCommsRestore)
END_MESSAGE_MAP()

CVarnockAutoSampler::CVarnockAutoSampler()
{
    // The window is the object's identity towards the channel registry, so it comes first.
    CreateEx(0, kALSControlWindowClass, kALSControlWindowClass, 8, 100, 100, 100, 199, nullptr,
             nullptr);
    m_pSerialComms = GetSerialComms(GetSafeHwnd());
}

CVarnockAutoSampler::~CVarnockAutoSampler()
{
    ReleaseSerialComms(GetSafeHwnd());
    m_pSerialComms = nullptr;
    // A wait still running has nobody left to answer for: its window is ended here, unless
    // this sampler is being destroyed from inside the window's own tick, when the window
    // ends itself as its tick returns. (Left to a later tick, a host that exits at once
    // would leave the window behind.)
    if (m_pCallbackWnd) {
        CVarnockAutoSamplerCallbackWnd* wait = m_pCallbackWnd;
        wait->m_pOwner = nullptr;
        m_pCallbackWnd = nullptr;
        if (!wait->m_bInTick)
            wait->Finish();
    }
    m_sCommsInitialised = 0;
    delete m_pRegRemoteWindow;
    m_pRegRemoteWindow = nullptr;
}

BOOL CVarnockAutoSampler::PreCreateWindow(CREATESTRUCT& cs)
{
    const char* className =
        AfxRegisterWndClass(kALSControlWindowClass, kWindowClassStyle, nullptr,
                            reinterpret_cast<HBRUSH>(GetStockObject(0)), nullptr);
    cs.cx = 100;
    cs.cy = 30;
    cs.lpszName = className;
    cs.lpszClass = className;
    cs.style = static_cast<LONG>(kControlWindowStyle);
    cs.dwExStyle = kControlWindowExStyle;
    cs.hInstance = AfxGetInstanceHandle();
    return TRUE;
}

int CVarnockAutoSampler::InitialiseComms()
{
    CAutoSampler::InitialiseComms();
    if (!m_pSerialComms)
        return 0;
    const int started = m_pSerialComms->StartALSComms();
    // The variant is learned even when the start failed: the GC side may have run.
    Set6890Type(m_pSerialComms->GetFirmwareVersion());
    if (!m_pRegRemoteWindow)
        m_pRegRemoteWindow = new CRegRemoteWindowALSSystem(this);
    m_sCommsInitialised = 1;
    return started;
}

int CVarnockAutoSampler::Initialise()
{
    GetInjectorConfig();
    return 1;
}

int CVarnockAutoSampler::CloseDownComms()
{
    if (!m_pSerialComms)
        return 1;
    return m_pSerialComms->StopALSComms();
}

void CVarnockAutoSampler::Set6890Type(CString firmware)
{
    m_n6890Type = firmware.Find("REV N") >= 0 ? HP6890_REV_N : HP6890_STANDARD;
    // For other programs; this library never reads it back.
    WriteRegistryPath(k6890TypePath, static_cast<int>(m_n6890Type), HKEY_LOCAL_MACHINE);
}

int CVarnockAutoSampler::GetInjectorConfig()
{
    using gc6890::sampler::ConfigField;
    // Each query stands alone: a failed one leaves its own flags untouched. A reply too
    // short to hold a field counts as no answer for that field.
    auto ask = [this](const ConfigQuery& query, CString& reply) {
        if (!m_pSerialComms)
            return false;
        CString commands = query.command;
        return m_pSerialComms->SendAndReceiveToALS(commands, reply) &&
               reply.Left(6) == query.replyHead;
    };
    CString reply;
    if (ask(kFrontInletQuery, reply)) {
        const int code = ConfigField(reply, 7);
        if (code >= 0 && code != kNoFrontInletCode)
            m_bFrontInletConfigured = 1;
    }
    if (ask(kBackInletQuery, reply)) {
        const int code = ConfigField(reply, 7);
        if (code >= 0 && code < kFirstUnusableBackInletCode)
            m_bBackInletConfigured = 1;
    }
    if (ask(kInjectorQuery, reply)) {
        if (ConfigField(reply, 9) == 1)
            m_bFrontInjectorPresent = 1;
        if (ConfigField(reply, 11) == 1)
            m_bBackInjectorPresent = 1;
    }
    return 1;
}

void CVarnockAutoSampler::CaughtSerialCommsError()
{
    if (m_pSerialComms)
        NotifySerialCommsError();
}

void CVarnockAutoSampler::HandleSerialCommsError()
{
    m_pSerialComms = nullptr;
}

void CVarnockAutoSampler::HandleSerialCommsRestore(CHP6890SerialComms* channel)
{
    if (!channel || m_pSerialComms)
        return;
    m_pSerialComms = channel;
    if (!m_sCommsInitialised)
        return;
    if (!m_pSerialComms->StartALSComms())
        m_sCommsRestartFailed = 1;
    Set6890Type(m_pSerialComms->GetFirmwareVersion());
}

LRESULT CVarnockAutoSampler::OnSerialCommsError(WPARAM, LPARAM)
{
    // The sampler never holds on to a failing channel: it only drops its pointer.
    HandleSerialCommsError();
    return 1;
}

LRESULT CVarnockAutoSampler::OnSerialCommsRestore(WPARAM, LPARAM channel)
{
    auto* restored = reinterpret_cast<CHP6890SerialComms*>(channel);
    if (!IsValidCommsObject(restored))
        return 0;
    HandleSerialCommsRestore(restored);
    return 1;
}
