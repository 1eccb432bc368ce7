// Time as the library sees it: timeGetTime() and Sleep(), over a steady clock that a test
// can replace.
//
// Inside, time is a 64-bit count of milliseconds, so timers never see a wrap; timeGetTime()
// gives its low 32 bits and wraps every 49.7 days as the original does.
#pragma once

#include <cstdint>

#include "platform/types.h"

// Milliseconds of the steady clock, 32 bits, wrapping.
DWORD timeGetTime();

// Waits for the given milliseconds; windows and timers are not served meanwhile. Under a
// test clock it advances that clock at once.
void Sleep(DWORD milliseconds);

namespace gc6890 {

// The current steady time in milliseconds (64 bits; the test clock's while one is in place).
std::uint64_t nowMilliseconds();

// Waits until the steady time reaches `when` (at once under a test clock, which jumps there).
void sleepUntil(std::uint64_t when);

// A clock for tests, shared by timeGetTime(), Sleep() and the timers while it exists.
// Construction installs it (starting at `start`), destruction puts back whatever was in
// place before. Start near 0xFFFFFFFF to watch timeGetTime() wrap.
class TestClock {
public:
    explicit TestClock(std::uint64_t start = 0);
    ~TestClock();
    TestClock(const TestClock&) = delete;
    TestClock& operator=(const TestClock&) = delete;

    std::uint64_t now() const { return m_now; }
    void advance(std::uint64_t milliseconds) { m_now += milliseconds; }
    void set(std::uint64_t when) { m_now = when; }

private:
    std::uint64_t m_now;
    TestClock* m_previous;
};

}  // namespace gc6890
