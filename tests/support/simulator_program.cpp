#include "support/simulator_program.h"

#include "support/child_process.h"

#include <dirent.h>
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
    const Spawned simulator = spawnProgram(program, options, {});
    m_pid = simulator.pid;
    if (!readLine(simulator.out, 10000, m_device))
        m_device.clear();
    close(simulator.out);  // (-1 when it could not start: a harmless EBADF)
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
