#include "support/simulator_program.h"

#include "support/child_process.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

namespace gc6890::test {

bool SimulatorProgram::start(const std::vector<std::string>& options)
{
    const char* program = std::getenv("GC6890_SIM_BIN");
    if (!program)
        return false;
    int output[2];
    if (pipe2(output, O_CLOEXEC) != 0)
        return false;
    const pid_t parent = getpid();
    m_pid = fork();
    if (m_pid == 0) {
        endWithTheTest(parent);
        dup2(output[1], STDOUT_FILENO);
        // execv takes non-const strings but changes none of them.
        std::vector<char*> argv{const_cast<char*>(program)};
        for (const std::string& option : options)
            argv.push_back(const_cast<char*>(option.c_str()));
        argv.push_back(nullptr);
        execv(program, argv.data());
        _exit(127);
    }
    close(output[1]);
    std::string line;
    char c = 0;
    pollfd ready{output[0], POLLIN, 0};
    while (poll(&ready, 1, 10000) == 1 && read(output[0], &c, 1) == 1 && c != '\n')
        line += c;
    close(output[0]);
    m_device = c == '\n' ? line : std::string();
    return !m_device.empty();
}

void SimulatorProgram::stop()
{
    if (m_pid <= 0)
        return;
    kill(m_pid, SIGTERM);
    waitpid(m_pid, nullptr, 0);
    m_pid = -1;
}

int openDescriptorCount()
{
    int count = 0;
    if (DIR* folder = opendir("/proc/self/fd")) {
        while (const dirent* entry = readdir(folder))
            count += entry->d_name[0] != '.';
        closedir(folder);
        --count;  // the folder's own descriptor
    }
    return count;
}

std::string injectedVials(const std::string& log)
{
    std::string vials;
    std::ifstream file(log);
    std::string word;
    for (int vial; file >> word >> vial;)
        vials += (vials.empty() ? "" : " ") + std::to_string(vial);
    return vials;
}

}  // namespace gc6890::test
