// Test helpers: a fresh GC6890_HOME (also the runtime folder of named mutexes) per test,
// and bounded waits on child processes.
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
        for (Variable& variable : m_saved) {
            const char* old = getenv(variable.name);
            variable.had = old != nullptr;
            variable.value = old ? old : "";
            setenv(variable.name, m_path.c_str(), 1);
        }
    }
    ~TempHome()
    {
        for (const Variable& variable : m_saved) {
            if (variable.had)
                setenv(variable.name, variable.value.c_str(), 1);
            else
                unsetenv(variable.name);
        }
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;
    const std::string& path() const { return m_path; }

private:
    struct Variable {
        const char* name;
        bool had;
        std::string value;
    };
    std::string m_path;
    Variable m_saved[2] = {{"GC6890_HOME", false, {}}, {"XDG_RUNTIME_DIR", false, {}}};
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
