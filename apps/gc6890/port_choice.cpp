#include "port_choice.h"

#include <cstdio>
#include <memory>

#include "external/serial_comms.h"
#include "external/simulator_process_port.h"
#include "external/termios_port.h"

namespace gc6890::cli {

namespace {

constexpr const char* kPortKey = "Inlets\\Hubrel\\Varnock";

std::string g_deviceOverride;

// Control characters shown as escapes, so that a trace line is one line.
std::string escaped(std::string_view bytes)
{
    std::string text;
    for (unsigned char c : bytes) {
        if (c == '\n')
            text += "\\n";
        else if (c == '\r')
            text += "\\r";
        else if (c < 0x20 || c == 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            text += hex;
        } else
            text += static_cast<char>(c);
    }
    return text;
}

// Passes everything to the real line and prints what goes out ("> ") and comes in ("< ").
class TracingPort : public SerialPortBackend {
public:
    explicit TracingPort(std::shared_ptr<SerialPortBackend> line) : line_(std::move(line)) {}

    bool open(std::string& error) override
    {
        const bool opened = line_->open(error);
        std::fprintf(stderr, "trace: open %s: %s\n", line_->describe().c_str(),
                     opened ? "ok" : error.c_str());
        return opened;
    }
    void close() override
    {
        if (line_->isOpen())
            std::fprintf(stderr, "trace: close %s\n", line_->describe().c_str());
        line_->close();
    }
    bool isOpen() const override { return line_->isOpen(); }
    bool write(std::string_view bytes, int timeoutMs) override
    {
        std::fprintf(stderr, "> %s\n", escaped(bytes).c_str());
        return line_->write(bytes, timeoutMs);
    }
    ReadResult read(char* buffer, std::size_t size, int timeoutMs) override
    {
        const ReadResult result = line_->read(buffer, size, timeoutMs);
        if (result.status == ReadStatus::Data)
            std::fprintf(stderr, "< %s\n", escaped(std::string_view(buffer, result.count)).c_str());
        else if (result.status == ReadStatus::Gone)
            std::fprintf(stderr, "trace: %s is gone\n", line_->describe().c_str());
        return result;
    }
    std::string describe() const override { return line_->describe(); }

private:
    std::shared_ptr<SerialPortBackend> line_;
};

}  // namespace

void installPortChoice(const std::string& device, bool trace)
{
    g_deviceOverride = device;
    SetSerialBackendFactory(
        [trace](const PortSettings& stored) -> std::shared_ptr<SerialPortBackend> {
            PortSettings settings = stored;
            if (!g_deviceOverride.empty())
                settings.device = g_deviceOverride;
            std::shared_ptr<SerialPortBackend> line;
            if (settings.device == "sim")
                line = std::make_shared<SimulatorProcessPort>(settings);
            else
                line = std::make_shared<TermiosPort>(settings);
            if (trace)
                return std::make_shared<TracingPort>(line);
            return line;
        });
}

std::string chosenDevice()
{
    if (!g_deviceOverride.empty())
        return g_deviceOverride;
    return ReadPortSettings(kPortKey).device;
}

}  // namespace gc6890::cli
