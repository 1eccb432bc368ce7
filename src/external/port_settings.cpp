#include "external/port_settings.h"

#include <string>

#include "platform/cstring.h"

namespace gc6890 {

namespace {
constexpr int kBaudRates[] = {300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
}

std::string validatePortSettings(const PortSettings& s)
{
    // Each message names the setting, its value and what is allowed, so that a user can
    // put it right with "gc6890 config set".
    bool knownRate = false;
    for (int rate : kBaudRates)
        knownRate = knownRate || rate == s.baudRate;
    if (s.device.empty())
        return "no serial device is configured (Port)";
    if (!knownRate)
        return format("BaudRate=%d is not a standard rate (300, 600, 1200, 2400, 4800, 9600, "
                      "19200, 38400, 57600 or 115200)",
                      s.baudRate);
    if (s.dataBits < 5 || s.dataBits > 8)
        return format("DataBits=%d is not 5, 6, 7 or 8", s.dataBits);
    if (s.parity != 'N' && s.parity != 'E' && s.parity != 'O')
        return format("Parity=%c is not N, E or O", s.parity);
    if (s.stopBits != 1 && s.stopBits != 2)
        return format("StopBits=%d is not 1 or 2", s.stopBits);
    if (s.timeoutMs < 1 || s.timeoutMs > kMaxTimeoutMs)
        return format("Timeout=%d is not 1 to %d ms", s.timeoutMs, kMaxTimeoutMs);
    if (s.endOfDataChar == '\0')
        return "EndOfDataChar=0 is not a character code from 1 to 255";
    return {};
}

const char* flowControlName(FlowControl flow)
{
    switch (flow) {
    case FlowControl::RtsCts:
        return "rtscts";
    case FlowControl::XonXoff:
        return "xonxoff";
    case FlowControl::None:
        break;
    }
    return "none";
}

bool parseFlowControl(const std::string& text, FlowControl& value)
{
    for (FlowControl flow : {FlowControl::None, FlowControl::RtsCts, FlowControl::XonXoff}) {
        if (text == flowControlName(flow)) {
            value = flow;
            return true;
        }
    }
    return false;
}

}  // namespace gc6890
