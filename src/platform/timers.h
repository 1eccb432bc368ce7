// Window timers and the message pump that runs them.
//
// Nothing runs behind the caller's back: a due timer runs only inside PumpMessages() (or
// RunFor()), which the host calls from its loop. A timer with a procedure calls it; one
// without sends WM_TIMER to its window, whose WindowProc passes it to OnTimer(). After a
// run a timer is due again one interval after the pump's time, as the system's timers
// are: late ticks are not made up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "platform/types.h"

using TIMERPROC = void(CALLBACK*)(HWND window, UINT message, UINT_PTR timerId, DWORD time);

// The shortest interval; shorter ones are raised to it, as the system does.
inline constexpr UINT USER_TIMER_MINIMUM = 10;

// Starts (or, for an identifier the window already uses, restarts) a timer on a live
// window and returns its identifier: `timerId` itself, or for 0 the lowest identifier the
// window does not use yet. 0 when the window does not exist.
UINT_PTR SetTimer(HWND window, UINT_PTR timerId, UINT milliseconds, TIMERPROC procedure);

// Runs every timer that is due now once, earliest due first (timers due at the same time
// in the order they were set). A timer restarted, or a window destroyed, by an earlier one in
// the same pass does not run.
void PumpMessages();

// Pumps until `milliseconds` have passed, sleeping until the next due timer in between.
void RunFor(DWORD milliseconds);

namespace gc6890 {

// Stops every timer of the window (its destruction does this).
void killWindowTimers(HWND window);

// How many timers are running (for leak checks).
std::size_t liveTimerCount();

// When the next timer is due (steady milliseconds), or nothing when there is no timer.
std::optional<std::uint64_t> nextTimerDue();

}  // namespace gc6890
