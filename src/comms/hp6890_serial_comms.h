// The one serial channel to the GC, shared by the GC object and the sampler object. The GC
// is addressed directly; the sampler through the GC's pass-through port 1, which the
// sampler side's start-up opens. Every line written and read is logged.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "diagnostics/error_log.h"
#include "external/serial_comms.h"
#include "platform/platform.h"

// The side of an exchange.
enum tag_GC_OR_ALS { GC = 0, ALS = 1 };

// A fixed number of four-byte slots, each holding an int or a float as the reply decided.
// The caller knows which kind each slot holds. An index outside the array reads slot 0.
class CIntFloatArray {
public:
    explicit CIntFloatArray(int count);
    virtual ~CIntFloatArray() = default;

    int GetSize() const { return static_cast<int>(m_slots.size()); }
    int GetInt(int index) const;
    float GetFloat(int index) const;
    void SetInt(int index, int value);
    void SetFloat(int index, float value);
    // Every slot back to zero.
    void Clear();

private:
    std::uint32_t& slot(int index);
    std::uint32_t slot(int index) const;

    std::vector<std::uint32_t> m_slots;
};

class CVarnockGCSystem;

namespace gc6890 {
// Told after each line exchange of any channel (a line written, then a line read): the
// time from the written line to the read one and whether a line came, on the thread that
// made the exchange. Not part of the design: the instrument service's latency histogram.
// The channel takes the time only while an observer is installed and allocates nothing
// for it; the observer must not block.
using ExchangeObserver = std::function<void(std::chrono::nanoseconds elapsed, bool answered)>;
// Installs the observer (an empty one removes it) and returns the previous one.
ExchangeObserver SetExchangeObserver(ExchangeObserver observer);

// Told of each line the channel writes (sent) or reads (received), on either side, as it
// went on the line without its line feed, on the thread that moved it. Not part of the
// design: the capture of a session (gc6890 --capture, gc6890 doctor), which the comms log
// cannot give (it keeps the GC's side only, to the second). Nothing is built for it while
// no observer is installed.
using LineObserver = std::function<void(int side, bool sent, std::string_view line)>;
// Installs the observer (an empty one removes it) and returns the previous one.
LineObserver SetLineObserver(LineObserver observer);

// The name of the port mutex of one device: "6890 Comm Port", a blank and the device's
// canonical path (a device named without a "/", such as "sim", as it is named).
std::string portMutexName(const std::string& device);
}  // namespace gc6890

class CHP6890SerialComms : public CSerialCommsE {
    friend class CVarnockGCSystem;  // reads the hardware profile on its first status read

public:
    CHP6890SerialComms();
    ~CHP6890SerialComms() override;

    int ViewReg() { return ViewRegistry(); }
    int SetupReg() { return SetupRegistry(); }
    CString GetFirmwareVersion() const { return m_strFirmwareVersion; }
    // Non-zero while a line is being written or read.
    static int Busy();

    // Writes log entries through the channel's comms log.
    int LogError(const CString& message, int severity) { return m_Log.LogError(message, severity); }

    // Line operations: non-zero on success. force 1 lets a line through while that side
    // is not started (start-up and its echo tests, and the GC's display commands). A
    // written line gets its line feed appended to the caller's string.
    int WriteStringToGC(CString& line, int force);
    int WriteStringToALS(CString& line, int force);
    int ReceiveStringFromGC(CString& line, int force);
    int ReceiveStringFromALS(CString& line, int force);
    // One command, one reply whose head answers it, its numbers into values.
    int SendAndReceiveToGC(const CString& command, CIntFloatArray& values);
    int SendAndReceiveToALS(const CString& command, CIntFloatArray& values);
    // One or more command lines (joined by line feeds); their replies concatenated.
    int SendAndReceiveToGC(const CString& commands, CString& replies);
    int SendAndReceiveToALS(const CString& commands, CString& replies);

    // Start-up and shut-down of each side.
    int StartGCComms();
    int StartALSComms();
    int StopGCComms();
    int StopALSComms();
    // The echo test of one address; buffer is scratch space.
    int CheckChannel(CString& buffer, const CString& address);

    // Bit 0: GC side started; bit 1: sampler side started. The port is open while either
    // is set.
    static int m_sCommsStatus;

    // How many times the pass-through port is closed and opened again when the GC keeps
    // answering "busy" (14) before the sampler start gives up.
    static constexpr int kPassThroughRetries = 3;

    // Open and close the port, and with it make and drop the port's mutex.
    int OpenSerialPort() override;
    int CloseSerialPort() override;

protected:
    void OnPortError(const CString& text) override;

private:
    int WriteString(CString& line);
    int ReceiveString(CString& line);
    // Notes a failed write or read for the host (comms/line_failure.h).
    void NoteLineLoss(const CString& written, const char* what);
    int SendAndReceive(tag_GC_OR_ALS side, const CString& command, CIntFloatArray& values);
    int SendAndReceive(tag_GC_OR_ALS side, CString commands, CString& replies);
    static int ParseGCStringIntoList(const CString& reply, CIntFloatArray& values);
    // Takes the port mutex for one write or read: 0 when another program held it past the
    // wait. A closed port has no mutex, and the operation goes on to fail on the port.
    int CheckMutex();
    void EndMutex();

    int Write(tag_GC_OR_ALS side, CString& line, int force);
    int Receive(tag_GC_OR_ALS side, CString& line, int force);
    int FailedStartALSComms();
    int ClosePassThroughPorts();
    void DumpHardwareProfileToDisk();

    CHP6890ErrorLog m_Log;
    CString m_strFirmwareVersion;
    // Made when the port opens: each single write and read then costs a lock call, not a
    // name lookup and a file open.
    std::unique_ptr<CMutex> m_pPortMutex;
    // The line written and the reply read by a checked exchange, kept so that their
    // storage is reused: a status poll's exchanges allocate nothing.
    CString m_strLine;
    CString m_strReply;
    // When the last line went out, while its answer is awaited (for the exchange observer).
    std::chrono::steady_clock::time_point m_WrittenAt;
    bool m_bAwaitingAnswer = false;
};
