// The serial port library: one port, its settings kept in the settings store under a key,
// and line-at-a-time reads split at the end-of-data character.
//
// The port itself lives behind SerialPortBackend: a termios device, the "sim" device (the
// simulator program on a pseudo-terminal), or whatever a test installs with
// SetSerialBackendFactory.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "external/line_reader.h"
#include "external/port_settings.h"
#include "external/serial_port_backend.h"
#include "platform/platform.h"

namespace gc6890 {
using SerialBackendFactory = std::function<std::shared_ptr<SerialPortBackend>(const PortSettings&)>;

// Installs the factory that makes the port for each open (an empty one restores the
// default: "sim" starts the simulator, any other device is a termios device). Returns the
// previous factory.
SerialBackendFactory SetSerialBackendFactory(SerialBackendFactory factory);

// The settings as stored under key ("Inlets\Hubrel\Varnock"), defaults where absent. A
// stored value that cannot be used is reported in problems and its default kept.
PortSettings ReadPortSettings(const CString& key, std::string* problems = nullptr);
int WritePortSettings(const CString& key, const PortSettings& settings);
}  // namespace gc6890

class CSerialComms {
public:
    // key: where the port settings are kept. option: kept for the design's callers, who pass
    // 0; it selects nothing here.
    CSerialComms(const CString& key, int option);
    virtual ~CSerialComms();
    CSerialComms(const CSerialComms&) = delete;
    CSerialComms& operator=(const CSerialComms&) = delete;

    void SetEndOfDataChar(char ch);
    void SetTimeout(int milliseconds);
    void SetRTSControlSetting(int setting);
    // Stores the current settings under the key; non-zero on success.
    int WriteToRegistry();

    // Non-zero on success; opening an open port succeeds. A failure is reported through
    // OnPortError with the device and the system's reason.
    virtual int OpenSerialPort();
    virtual int CloseSerialPort();
    int IsPortOpen() const;
    // Non-zero when the last read found the device gone (hung up, unplugged) or a write
    // closed the port for that reason: waiting or retrying on this port cannot help.
    int IsLineGone() const;

    // Sends the text as given; non-zero when all of it was written within the time-out.
    int WriteString(CString text);

    // Shows the stored settings (through a message box); non-zero.
    int ViewRegistry();
    // Takes up the stored settings again (after they were edited with "gc6890 config set");
    // applied at the next open. Non-zero when they are all usable.
    int SetupRegistry();

    // No read waits past this moment (gc6890::nowMilliseconds()); 0 lifts the limit.
    void LimitWaitsUntil(std::uint64_t deadlineMs) { m_waitDeadlineMs = deadlineMs; }

    const gc6890::PortSettings& PortSettings() const { return m_settings; }
    const CString& LastPortError() const { return m_lastError; }

protected:
    // Called with a one-line description of every port failure (open, write, hang-up).
    virtual void OnPortError(const CString& text);

    std::shared_ptr<gc6890::SerialPortBackend> m_port;
    gc6890::LineReader m_reader;
    gc6890::PortSettings m_settings;
    CString m_key;
    CString m_lastError;
    bool m_bLineGone = false;
    std::uint64_t m_waitDeadlineMs = 0;
};

class CSerialCommsE : public CSerialComms {
public:
    CSerialCommsE(const CString& key, int option) : CSerialComms(key, option) {}

    // One line without its end-of-data character; an empty text when the time-out passed.
    // Throws CUserException when the device is gone (hung up, unplugged) or not open.
    virtual CString WaitForIncomingString();
    // The same into `line`, whose storage is reused: a status poll reads without allocating.
    virtual void WaitForIncomingString(CString& line);

private:
    std::string m_strIncoming;  // the line as read, kept so that its storage is reused
};
