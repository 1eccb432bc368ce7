#include "comms/comms_registry.h"

#include <vector>

#include "comms/hp6890_serial_comms.h"
#include "comms/registered_messages.h"
#include "external/port_interrupt.h"

namespace {

constexpr UINT kRetryTimerId = 1;
constexpr UINT kRetryIntervalMs = 100;

CHP6890SerialComms* g_pChannel = nullptr;
int g_rebuildLimitMs = 0;
int g_nUsers = 0;
int g_nLockOut = 0;

CList<HWND, HWND&>& windows()
{
    static CList<HWND, HWND&> list(10);
    return list;
}

// Sends message to every registered window in order and combines the answers with a
// bitwise AND. The list is copied first: a handler may release its registration.
LRESULT Broadcast(UINT message, LPARAM lParam)
{
    std::vector<HWND> targets;
    for (POSITION at = windows().GetHeadPosition(); at;)
        targets.push_back(windows().GetNext(at));
    LRESULT combined = 1;
    for (HWND window : targets)
        combined &= SendMessage(window, message, 0, lParam);
    return combined;
}

// The invisible window that carries the 100 ms rebuild retry. Only one exists at a time;
// it destroys itself after the first tick on which the rebuild succeeds.
class CRetryWindow : public CDialog {
public:
    static CRetryWindow* s_pPending;

    static void Start()
    {
        if (s_pPending)
            return;  // a retry is already running: one at a time
        s_pPending = new CRetryWindow;
        s_pPending->Create(0, nullptr);
        s_pPending->SetTimer(kRetryTimerId, kRetryIntervalMs, nullptr);
    }

    static void Stop()
    {
        delete s_pPending;
        s_pPending = nullptr;
    }

protected:
    void OnTimer(UINT_PTR) override;
};

CRetryWindow* CRetryWindow::s_pPending = nullptr;

int RebuildChannel()
{
    if (g_pChannel && CHP6890SerialComms::Busy())
        return 0;
    // Whoever asked for it, a rebuild that succeeds ends the pending retry (before the
    // restore broadcast, which may start a retry of its own).
    CRetryWindow::Stop();
    // A departure for one-shot hosts (SetChannelRebuildLimit): the old channel's shut-down
    // and the restore's exchanges share one deadline instead of a time-out each.
    // Long-lived hosts keep the default, none.
    const std::uint64_t deadline =
        g_rebuildLimitMs > 0
            ? gc6890::nowMilliseconds() + static_cast<std::uint64_t>(g_rebuildLimitMs)
            : 0;
    if (g_pChannel)
        g_pChannel->LimitWaitsUntil(deadline);
    delete g_pChannel;
    g_pChannel = new CHP6890SerialComms;
    CHP6890SerialComms* const channel = g_pChannel;
    channel->LimitWaitsUntil(deadline);
    Broadcast(g_nCommsRestoreMessage, reinterpret_cast<LPARAM>(channel));
    if (g_pChannel == channel)
        channel->LimitWaitsUntil(0);
    return 1;
}

void CRetryWindow::OnTimer(UINT_PTR)
{
    RebuildChannel();  // on success this window is deleted: nothing of it is touched after
}

}  // namespace

CHP6890SerialComms* GetSerialComms(HWND window)
{
    if (!IsWindow(window))
        return nullptr;
    ++g_nUsers;
    windows().AddTail(window);
    if (!g_pChannel)
        g_pChannel = new CHP6890SerialComms;
    return g_pChannel;
}

int ReleaseSerialComms(HWND window)
{
    const POSITION at = windows().Find(window);
    if (!at)
        return 0;
    windows().RemoveAt(at);
    if (--g_nUsers == 0) {
        delete g_pChannel;
        g_pChannel = nullptr;
        CRetryWindow::Stop();  // nobody is left to hand a rebuilt channel to
    }
    return 1;
}

void NotifySerialCommsError()
{
    // A host that interrupted the port waits is going away: a rebuild could not talk to
    // the instrument anyway, and would only hold the host up.
    if (gc6890::PortWaitsInterrupted()) {
        Broadcast(g_nCommsFailureMessage, 0);
        return;
    }
    if (Broadcast(g_nCommsFailureMessage, 0) != 1) {
        MessageBox(nullptr, " Cannot reset comms: HP6890GC Comms busy.\nPlease try again.",
                   "Comms Reset Failure", MB_OK | MB_ICONEXCLAMATION | MB_SETFOREGROUND);
        return;
    }
    if (!RebuildChannel())
        CRetryWindow::Start();
}

int IsValidCommsObject(CHP6890SerialComms* channel)
{
    return channel && channel == g_pChannel ? 1 : 0;
}

int LockOut()
{
    if (g_nLockOut)
        return 0;
    g_nLockOut = 1;
    return 1;
}

int LockedOut()
{
    return g_nLockOut;
}

int FreeLock()
{
    if (!g_nLockOut)
        return 0;
    g_nLockOut = 0;
    return 1;
}

namespace gc6890 {
bool CommsRebuildPending()
{
    return CRetryWindow::s_pPending != nullptr;
}

void SetChannelRebuildLimit(int milliseconds)
{
    g_rebuildLimitMs = milliseconds > 0 ? milliseconds : 0;
}
}  // namespace gc6890
