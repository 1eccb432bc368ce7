// The line settings of the serial port, as the serial port library keeps them under its
// settings key ("Inlets\Hubrel\Varnock": Port, BaudRate, DataBits, Parity, StopBits,
// FlowControl, EndOfDataChar, Timeout, RTSControl).
#pragma once

#include <string>

namespace gc6890 {

enum class FlowControl { None, RtsCts, XonXoff };

struct PortSettings {
    // "sim" runs the built-in simulator; a new user can start without an instrument.
    std::string device = "sim";
    int baudRate = 9600;
    int dataBits = 8;
    char parity = 'N';  // N, E or O
    int stopBits = 1;
    FlowControl flowControl = FlowControl::None;
    char endOfDataChar = '\n';
    int timeoutMs = 45000;
    int rtsControl = 0;
};

// The longest reply wait a setting may ask for: ten minutes.
inline constexpr int kMaxTimeoutMs = 600000;

// Why a setting is unusable ("BaudRate=12345 is not a standard rate (...)"), or empty
// when all are usable.
std::string validatePortSettings(const PortSettings& settings);

const char* flowControlName(FlowControl flow);
// False when the text names no flow control; value is then unchanged.
bool parseFlowControl(const std::string& text, FlowControl& value);

}  // namespace gc6890
