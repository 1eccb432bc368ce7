// Bounded waits on child processes the tests fork.
#pragma once

#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace gc6890::test {

// Waits for the child to end, at most `milliseconds`; a child still running then is killed.
// Returns the wait status, or -1 when it had to be killed.
inline int waitForChild(pid_t child, int milliseconds = 20000)
{
    for (int waited = 0; waited < milliseconds; waited += 5) {
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child)
            return status;
        poll(nullptr, 0, 5);
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    return -1;
}

// Called in a child just forked from `test` (the test process's pid, taken before the fork):
// the child is killed when the test process ends, however it ends, so that a crashed or
// timed-out test leaves no simulator, service or broker behind holding its output open
// (ctest would wait on that output for good).
inline void endWithTheTest(pid_t test)
{
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != test)  // the test ended before the line above took effect
        _exit(127);
}

// Runs `body` in a forked child, which exits with body's result; the child's pid (-1: no
// child).
template <typename Body>
pid_t inChild(Body body)
{
    const pid_t pid = fork();
    if (pid == 0)
        _exit(body());
    return pid;
}

// Reads one byte from the pipe, waiting at most `milliseconds`; false on time-out or end.
inline bool awaitByte(int fd, int milliseconds = 20000)
{
    pollfd ready{fd, POLLIN, 0};
    char byte = 0;
    return poll(&ready, 1, milliseconds) == 1 && read(fd, &byte, 1) == 1;
}

}  // namespace gc6890::test
