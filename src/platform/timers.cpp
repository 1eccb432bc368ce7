#include "platform/timers.h"

#include <algorithm>
#include <vector>

#include "platform/clock.h"
#include "platform/window_constants.h"
#include "platform/window_table.h"

namespace gc6890 {
namespace {

struct Timer {
    HWND window;
    UINT_PTR id;
    UINT interval;
    TIMERPROC procedure;
    std::uint64_t due;
    std::uint64_t serial;  // unique per SetTimer call; tells a restarted timer from the old one
};

std::vector<Timer>& timers()
{
    static std::vector<Timer> all;
    return all;
}

std::uint64_t g_nextSerial = 1;

std::vector<Timer>::iterator findTimer(HWND window, UINT_PTR id)
{
    return std::find_if(timers().begin(), timers().end(), [&](const Timer& timer) {
        return timer.window == window && timer.id == id;
    });
}

}  // namespace

void killWindowTimers(HWND window)
{
    std::erase_if(timers(), [&](const Timer& timer) { return timer.window == window; });
}

std::size_t liveTimerCount()
{
    return timers().size();
}

std::optional<std::uint64_t> nextTimerDue()
{
    std::optional<std::uint64_t> next;
    for (const Timer& timer : timers())
        if (!next || timer.due < *next)
            next = timer.due;
    return next;
}

}  // namespace gc6890

UINT_PTR SetTimer(HWND window, UINT_PTR timerId, UINT milliseconds, TIMERPROC procedure)
{
    using namespace gc6890;
    if (!IsWindow(window))
        return 0;
    if (timerId == 0) {
        timerId = 1;
        while (findTimer(window, timerId) != timers().end())
            ++timerId;
    }
    const UINT interval = std::max(milliseconds, USER_TIMER_MINIMUM);
    const Timer timer{window,        timerId, interval, procedure, nowMilliseconds() + interval,
                      g_nextSerial++};
    if (auto existing = findTimer(window, timerId); existing != timers().end())
        *existing = timer;
    else
        timers().push_back(timer);
    return timerId;
}

void PumpMessages()
{
    using namespace gc6890;
    const std::uint64_t now = nowMilliseconds();
    std::vector<std::pair<std::uint64_t, std::uint64_t>> due;  // (due time, serial)
    for (const Timer& timer : timers())
        if (timer.due <= now)
            due.emplace_back(timer.due, timer.serial);
    std::sort(due.begin(), due.end());

    for (const auto& [when, serial] : due) {
        // Looked up again each time: an earlier timer may have killed or restarted this one.
        const auto found =
            std::find_if(timers().begin(), timers().end(),
                         [serial = serial](const Timer& timer) { return timer.serial == serial; });
        // Gone, or already run by a pump nested inside an earlier timer's procedure.
        if (found == timers().end() || found->due > now)
            continue;
        found->due = now + found->interval;
        const Timer fired = *found;  // the procedure may change the list
        if (fired.procedure)
            fired.procedure(fired.window, WM_TIMER, fired.id, static_cast<DWORD>(now));
        else
            SendMessage(fired.window, WM_TIMER, fired.id, 0);
    }
}

void RunFor(DWORD milliseconds)
{
    using namespace gc6890;
    const std::uint64_t deadline = nowMilliseconds() + milliseconds;
    // Bounded: after each pump every timer is due in the future, so each pass either
    // sleeps forward or ends.
    for (;;) {
        PumpMessages();
        const std::uint64_t now = nowMilliseconds();
        if (now >= deadline)
            break;
        const std::uint64_t wake = std::min(nextTimerDue().value_or(deadline), deadline);
        if (wake > now)
            sleepUntil(wake);
    }
}
