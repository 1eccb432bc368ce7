// The device "sim": the instrument simulator program started on a pseudo-terminal for as
// long as the port is open, reached through the same termios port as an instrument.
#pragma once

#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

#include "external/port_settings.h"
#include "external/termios_port.h"

namespace gc6890 {

class SimulatorProcessPort : public SerialPortBackend {
public:
    // The simulator program: $GC6890_SIM_BIN, else gc6890-sim beside the running program,
    // else the one installed with the library, else gc6890-sim on the PATH. Extra options come from
    // $GC6890_SIM_OPTIONS (blank-separated), e.g. "--speed 60".
    static std::string findProgram();

    explicit SimulatorProcessPort(PortSettings settings);
    ~SimulatorProcessPort() override;
    SimulatorProcessPort(const SimulatorProcessPort&) = delete;
    SimulatorProcessPort& operator=(const SimulatorProcessPort&) = delete;

    bool open(std::string& error) override;
    void close() override;
    bool isOpen() const override { return m_port && m_port->isOpen(); }
    bool write(std::string_view bytes, int timeoutMs) override;
    ReadResult read(char* buffer, std::size_t size, int timeoutMs) override;
    std::string describe() const override { return "sim"; }

    pid_t processId() const { return m_child; }

private:
    bool start(std::string& devicePath, std::string& error);
    void stopProcess();
    void closeLifeline();

    PortSettings m_settings;
    std::unique_ptr<TermiosPort> m_port;
    pid_t m_child = -1;
    int m_lifeline = -1;  // write end of the pipe whose end-of-file ends the simulator
};

}  // namespace gc6890
