#include "external/port_interrupt.h"

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace gc6890 {

namespace {

// Written by the signal handler, so plain lock-free atomics, set up before any handler.
std::atomic<bool> g_interrupted{false};
std::atomic<int> g_signal{0};
std::atomic<int> g_wakeRead{-1};
std::atomic<int> g_wakeWrite{-1};

// The self-pipe, made once: its read end is readable exactly while interrupted.
void makePipe()
{
    static const bool made = [] {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
            return false;
        g_wakeRead = fds[0];
        g_wakeWrite = fds[1];
        return true;
    }();
    (void)made;
}

void onSignal(int signal)
{
    g_signal = signal;
    InterruptPortWaits();
}

}  // namespace

void InterruptPortWaits()
{
    const bool already = g_interrupted.exchange(true);
    const int fd = g_wakeWrite.load();
    if (!already && fd >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
}

void ClearPortInterrupt()
{
    g_interrupted = false;
    g_signal = 0;
    char drain[16];
    if (const int fd = g_wakeRead.load(); fd >= 0)
        while (::read(fd, drain, sizeof drain) > 0) {
        }
}

bool PortWaitsInterrupted()
{
    return g_interrupted.load();
}

int PortInterruptFd()
{
    makePipe();
    return g_wakeRead.load();
}

void InterruptPortWaitsOnSignals()
{
    makePipe();
    struct sigaction action {};
    action.sa_handler = onSignal;  // no SA_RESTART: a blocking call returns with EINTR
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

int PortInterruptSignal()
{
    return g_signal.load();
}

}  // namespace gc6890
