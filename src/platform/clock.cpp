#include "platform/clock.h"

#include <cerrno>
#include <ctime>

namespace gc6890 {
namespace {

TestClock* g_testClock = nullptr;

std::uint64_t steadyMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000u +
           static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
}

}  // namespace

TestClock::TestClock(std::uint64_t start) : m_now(start), m_previous(g_testClock)
{
    g_testClock = this;
}

TestClock::~TestClock()
{
    g_testClock = m_previous;
}

std::uint64_t nowMilliseconds()
{
    return g_testClock ? g_testClock->now() : steadyMilliseconds();
}

void sleepUntil(std::uint64_t when)
{
    if (g_testClock) {
        if (g_testClock->now() < when)
            g_testClock->set(when);
        return;
    }
    // Bounded: each pass sleeps until the deadline; interrupted sleeps simply go round again.
    for (std::uint64_t now = steadyMilliseconds(); now < when; now = steadyMilliseconds()) {
        const std::uint64_t left = when - now;
        timespec pause{static_cast<time_t>(left / 1000u),
                       static_cast<long>((left % 1000u) * 1000000u)};
        nanosleep(&pause, nullptr);
    }
}

}  // namespace gc6890

DWORD timeGetTime()
{
    return static_cast<DWORD>(gc6890::nowMilliseconds());
}

void Sleep(DWORD milliseconds)
{
    gc6890::sleepUntil(gc6890::nowMilliseconds() + milliseconds);
}
