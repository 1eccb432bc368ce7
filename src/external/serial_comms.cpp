#include "external/serial_comms.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "external/inlet_utils.h"
#include "external/port_interrupt.h"
#include "external/simulator_process_port.h"
#include "external/termios_port.h"

namespace gc6890 {

namespace {

std::shared_ptr<SerialPortBackend> defaultBackend(const PortSettings& settings)
{
    if (settings.device == "sim")
        return std::make_shared<SimulatorProcessPort>(settings);
    return std::make_shared<TermiosPort>(settings);
}

SerialBackendFactory& currentFactory()
{
    static SerialBackendFactory factory = defaultBackend;
    return factory;
}

CString valuePath(const CString& key, const char* name)
{
    return key + "\\" + name;
}

// Reads one integer setting; a stored text that is not a number keeps the default and is
// reported.
void readInt(const CString& key, const char* name, int& value, std::string* problems)
{
    CString text;
    if (!ReadRegistryPath(valuePath(key, name), text, HKEY_LOCAL_MACHINE) || text.IsEmpty())
        return;
    char* end = nullptr;
    const long parsed = std::strtol(text, &end, 10);
    if (end && *end == '\0')
        value = static_cast<int>(parsed);
    else if (problems)
        *problems += format("%s=%s is not a whole number; ", name, text.c_str());
}

}  // namespace

SerialBackendFactory SetSerialBackendFactory(SerialBackendFactory factory)
{
    if (!factory)
        factory = defaultBackend;
    return std::exchange(currentFactory(), std::move(factory));
}

PortSettings ReadPortSettings(const CString& key, std::string* problems)
{
    PortSettings s;
    CString text;
    if (ReadRegistryPath(valuePath(key, "Port"), text, HKEY_LOCAL_MACHINE) && !text.IsEmpty())
        s.device = text.str();
    readInt(key, "BaudRate", s.baudRate, problems);
    readInt(key, "DataBits", s.dataBits, problems);
    readInt(key, "StopBits", s.stopBits, problems);
    readInt(key, "Timeout", s.timeoutMs, problems);
    readInt(key, "RTSControl", s.rtsControl, problems);
    int endOfData = static_cast<unsigned char>(s.endOfDataChar);
    readInt(key, "EndOfDataChar", endOfData, problems);
    s.endOfDataChar = static_cast<char>(endOfData);
    text.Empty();
    if (ReadRegistryPath(valuePath(key, "Parity"), text, HKEY_LOCAL_MACHINE) &&
        text.GetLength() == 1)
        s.parity = static_cast<char>(text.MakeUpper()[0]);
    text.Empty();
    if (ReadRegistryPath(valuePath(key, "FlowControl"), text, HKEY_LOCAL_MACHINE) &&
        !text.IsEmpty() && !parseFlowControl(text.str(), s.flowControl) && problems)
        *problems += format("FlowControl=%s is not none, rtscts or xonxoff; ", text.c_str());
    return s;
}

int WritePortSettings(const CString& key, const PortSettings& s)
{
    int ok = 1;
    ok &= WriteRegistryPath(valuePath(key, "Port"), CString(s.device), HKEY_LOCAL_MACHINE) ? 1 : 0;
    ok &= WriteRegistryPath(valuePath(key, "BaudRate"), s.baudRate, HKEY_LOCAL_MACHINE) ? 1 : 0;
    ok &= WriteRegistryPath(valuePath(key, "DataBits"), s.dataBits, HKEY_LOCAL_MACHINE) ? 1 : 0;
    ok &=
        WriteRegistryPath(valuePath(key, "Parity"), CString(s.parity), HKEY_LOCAL_MACHINE) ? 1 : 0;
    ok &= WriteRegistryPath(valuePath(key, "StopBits"), s.stopBits, HKEY_LOCAL_MACHINE) ? 1 : 0;
    ok &= WriteRegistryPath(valuePath(key, "FlowControl"), CString(flowControlName(s.flowControl)),
                            HKEY_LOCAL_MACHINE)
              ? 1
              : 0;
    ok &= WriteRegistryPath(valuePath(key, "EndOfDataChar"),
                            static_cast<unsigned char>(s.endOfDataChar), HKEY_LOCAL_MACHINE)
              ? 1
              : 0;
    ok &= WriteRegistryPath(valuePath(key, "Timeout"), s.timeoutMs, HKEY_LOCAL_MACHINE) ? 1 : 0;
    ok &= WriteRegistryPath(valuePath(key, "RTSControl"), s.rtsControl, HKEY_LOCAL_MACHINE) ? 1 : 0;
    return ok;
}

}  // namespace gc6890

CSerialComms::CSerialComms(const CString& key, int /*option*/)
    : m_settings(gc6890::ReadPortSettings(key)), m_key(key)
{
    m_reader.setEndOfData(m_settings.endOfDataChar);
}

CSerialComms::~CSerialComms()
{
    if (m_port)
        m_port->close();
}

void CSerialComms::SetEndOfDataChar(char ch)
{
    m_settings.endOfDataChar = ch;
    m_reader.setEndOfData(ch);
}

void CSerialComms::SetTimeout(int milliseconds)
{
    m_settings.timeoutMs = milliseconds;
}

void CSerialComms::SetRTSControlSetting(int setting)
{
    m_settings.rtsControl = setting;
}

int CSerialComms::WriteToRegistry()
{
    return gc6890::WritePortSettings(m_key, m_settings);
}

int CSerialComms::OpenSerialPort()
{
    if (IsPortOpen())
        return 1;
    m_reader.clear();
    m_bLineGone = false;
    m_port = gc6890::currentFactory()(m_settings);
    std::string error;
    if (!m_port || !m_port->open(error)) {
        m_port.reset();
        OnPortError(CString(error));
        return 0;
    }
    return 1;
}

int CSerialComms::CloseSerialPort()
{
    if (m_port)
        m_port->close();
    m_port.reset();
    m_reader.clear();
    return 1;
}

int CSerialComms::IsPortOpen() const
{
    return m_port && m_port->isOpen() ? 1 : 0;
}

int CSerialComms::IsLineGone() const
{
    // A port that closed itself (a write found the device gone) counts as well, and so
    // does every port while the host has interrupted the waits: it is going away.
    return m_bLineGone || (m_port && !m_port->isOpen()) || gc6890::PortWaitsInterrupted() ? 1 : 0;
}

int CSerialComms::WriteString(CString text)
{
    if (!IsPortOpen())
        return 0;
    if (!m_port->write(text.str(), m_settings.timeoutMs)) {
        OnPortError(CString(gc6890::format("cannot write to %s", m_port->describe().c_str())));
        return 0;
    }
    return 1;
}

int CSerialComms::ViewRegistry()
{
    const gc6890::PortSettings& s = m_settings;
    const CString text(
        gc6890::format("Port=%s\nBaudRate=%d\nDataBits=%d\nParity=%c\nStopBits=%d\nFlowControl=%s\n"
                       "EndOfDataChar=%d\nTimeout=%d\nRTSControl=%d",
                       s.device.c_str(), s.baudRate, s.dataBits, s.parity, s.stopBits,
                       gc6890::flowControlName(s.flowControl),
                       static_cast<unsigned char>(s.endOfDataChar), s.timeoutMs, s.rtsControl));
    MessageBox(nullptr, text, CString("Serial Port Settings: ") + m_key,
               MB_OK | MB_ICONINFORMATION);
    return 1;
}

int CSerialComms::SetupRegistry()
{
    std::string problems;
    gc6890::PortSettings stored = gc6890::ReadPortSettings(m_key, &problems);
    const std::string unusable = gc6890::validatePortSettings(stored);
    if (!problems.empty() || !unusable.empty()) {
        OnPortError(CString("port settings: " + problems + unusable));
        return 0;
    }
    m_settings = stored;
    m_reader.setEndOfData(stored.endOfDataChar);
    return 1;
}

void CSerialComms::OnPortError(const CString& text)
{
    m_lastError = text;
}

CString CSerialCommsE::WaitForIncomingString()
{
    CString line;
    WaitForIncomingString(line);
    return line;
}

void CSerialCommsE::WaitForIncomingString(CString& line)
{
    if (!IsPortOpen()) {
        OnPortError("the serial port is not open");
        AfxThrowUserException();
    }
    m_bLineGone = false;
    int timeoutMs = m_settings.timeoutMs;
    if (m_waitDeadlineMs != 0) {
        const std::uint64_t now = gc6890::nowMilliseconds();
        timeoutMs = now >= m_waitDeadlineMs
                        ? 0
                        : static_cast<int>(std::min<std::uint64_t>(
                              m_waitDeadlineMs - now, static_cast<std::uint64_t>(timeoutMs)));
    }
    switch (m_reader.readLine(*m_port, timeoutMs, m_strIncoming)) {
    case gc6890::LineReader::Status::Line:
        line.SetString(m_strIncoming.data(), static_cast<int>(m_strIncoming.size()));
        return;
    case gc6890::LineReader::Status::TimedOut:
        line.Empty();
        return;
    case gc6890::LineReader::Status::Gone:
        break;
    }
    m_bLineGone = true;
    OnPortError(CString(gc6890::format("%s hung up or failed", m_port->describe().c_str())));
    AfxThrowUserException();
}
