// A serial line on a termios device: a real port, a USB adapter or a pseudo-terminal.
#pragma once

#include <termios.h>

#include "external/port_settings.h"
#include "external/serial_port_backend.h"

namespace gc6890 {

class TermiosPort : public SerialPortBackend {
public:
    explicit TermiosPort(PortSettings settings);
    ~TermiosPort() override;
    TermiosPort(const TermiosPort&) = delete;
    TermiosPort& operator=(const TermiosPort&) = delete;

    bool open(std::string& error) override;
    void close() override;
    bool isOpen() const override { return m_fd >= 0; }
    bool write(std::string_view bytes, int timeoutMs) override;
    ReadResult read(char* buffer, std::size_t size, int timeoutMs) override;
    std::string describe() const override { return m_settings.device; }

private:
    bool configure(std::string& error);
    // A failed write; `gone` when the device hung up or failed, which closes the port.
    bool failWrite(bool gone);

    PortSettings m_settings;
    int m_fd = -1;
    bool m_restoreSaved = false;
    struct termios m_saved {};
};

}  // namespace gc6890
