// gc6890-sim started by a test on its own pseudo-terminal, with the options a case needs,
// and stopped by its process id. The library then opens the device path like any port.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace gc6890::test {

class SimulatorProgram {
public:
    SimulatorProgram() = default;
    ~SimulatorProgram() { stop(); }
    SimulatorProgram(const SimulatorProgram&) = delete;
    SimulatorProgram& operator=(const SimulatorProgram&) = delete;

    // Starts $GC6890_SIM_BIN with the options and waits (at most 10 s) for its device path.
    // False when the program is not configured or did not report a device.
    bool start(const std::vector<std::string>& options);
    // SIGTERM, then waits for the exit.
    void stop();

    const std::string& devicePath() const { return m_device; }

private:
    pid_t m_pid = -1;
    std::string m_device;
};

// The number of open file descriptors of this process.
int openDescriptorCount();

// The vials a simulator's --injection-log FILE names, in order: "1 2 2".
std::string injectedVials(const std::string& log);

}  // namespace gc6890::test
