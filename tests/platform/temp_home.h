// Test helpers: a fresh GC6890_HOME per test, and bounded waits on child processes.
#pragma once

#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace testsupport {

class TempHome {
public:
    TempHome()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "gc6890-test-XXXXXX").string();
        m_path = mkdtemp(pattern.data()) ? pattern : std::string();
        if (const char* old = getenv("GC6890_HOME")) {
            m_hadOld = true;
            m_old = old;
        }
        setenv("GC6890_HOME", m_path.c_str(), 1);
    }
    ~TempHome()
    {
        if (m_hadOld)
            setenv("GC6890_HOME", m_old.c_str(), 1);
        else
            unsetenv("GC6890_HOME");
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
    std::string m_old;
    bool m_hadOld = false;
};

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

// Reads one byte from the pipe, waiting at most `milliseconds`; false on time-out or end.
inline bool awaitByte(int fd, int milliseconds = 20000)
{
    pollfd ready{fd, POLLIN, 0};
    char byte = 0;
    return poll(&ready, 1, milliseconds) == 1 && read(fd, &byte, 1) == 1;
}

}  // namespace testsupport
