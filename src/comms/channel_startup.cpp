// Start-up and shut-down of the channel's two sides: the GC side opens the port, proves
// with echo tests that the GC and its modules answer and reads the GC's identity; the
// sampler side also opens the GC's pass-through port 1.
#include <cstdint>
#include <cstdlib>

#include "comms/hp6890_serial_comms.h"
#include "comms/line_failure.h"

namespace {

constexpr int kGCBit = 1;
constexpr int kALSBit = 2;

// The GC's modules, echo-tested in this order when the GC side starts.
const char* const kEchoAddresses[] = {"CC", "GC", "S1", "S2", "SS", "OV",
                                      "DF", "IF", "C1", "A1", "V1", "DT"};

// An instrument that talks without end cannot keep an echo test waiting.
constexpr int kMaxStaleLines = 64;

// The result code in a reply's 8th and 9th characters (atoi rule: no digits give 0).
int resultCode(const CString& reply)
{
    return std::atoi(reply.Mid(7, 2));
}

}  // namespace

int CHP6890SerialComms::CheckChannel(CString& buffer, const CString& address)
{
    if (address.GetLength() != 2)
        return 0;
    buffer = address + "HTEO \"1234\"";
    if (!WriteStringToGC(buffer, 1))
        return 0;
    const CString echo = "HT" + address + "EO \"1234\"";
    // Stale lines (an unsolicited report) before the echo are discarded, but no more of
    // them than kMaxStaleLines and none once a time-out has passed since the echo went
    // out: a talkative instrument keeps the test at most two time-outs (the last read
    // waits its own).
    const std::uint64_t deadline =
        gc6890::nowMilliseconds() + static_cast<std::uint64_t>(PortSettings().timeoutMs);
    for (int line = 0; line < kMaxStaleLines; ++line) {
        if (line > 0 && gc6890::nowMilliseconds() >= deadline)
            return 0;
        if (!ReceiveStringFromGC(buffer, 1))
            return 0;
        if (buffer == echo)
            return 1;
    }
    return 0;
}

int CHP6890SerialComms::StartGCComms()
{
    if (m_sCommsStatus & kGCBit)
        return 1;
    if (!OpenSerialPort()) {
        gc6890::NoteLineFailure(gc6890::LineFailureKind::CannotOpen, LastPortError().str());
        return 0;
    }
    CString buffer;
    for (const char* address : kEchoAddresses) {
        if (!CheckChannel(buffer, address)) {
            gc6890::NoteLineFailure(
                gc6890::LineFailureKind::WrongAnswer,
                gc6890::format("the echo test of %s was not answered", address));
            return 0;
        }
    }
    if (m_sCommsStatus & kALSBit) {
        m_sCommsStatus |= kGCBit;
        return CheckChannel(buffer, "CC");
    }
    CString identity = "CCHTID";
    if (!WriteStringToGC(identity, 1) || !ReceiveStringFromGC(identity, 1))
        return 0;
    if (identity.Left(6) != "HTCCID" || identity.Mid(7, 10) != "HP 6890 GC") {
        gc6890::NoteLineFailure(gc6890::LineFailureKind::WrongAnswer,
                                "the instrument is not an HP 6890 GC (it says \"" + identity.str() +
                                    "\")");
        return 0;
    }
    m_strFirmwareVersion = identity.Mid(19, 11);
    m_sCommsStatus |= kGCBit;
    return 1;
}

int CHP6890SerialComms::StartALSComms()
{
    if (m_sCommsStatus & kALSBit)
        return 1;
    if (!(m_sCommsStatus & kGCBit)) {
        if (!StartGCComms())
            return 0;
        m_sCommsStatus &= ~kGCBit;  // the GC side was not asked for; the port stays open
    }
    CString buffer;
    if (!CheckChannel(buffer, "AS"))
        return FailedStartALSComms();
    // The GC answers 14 while the pass-through port is held; then every port is closed
    // and the open tried again, a bounded number of times.
    for (int attempt = 0; attempt <= kPassThroughRetries; ++attempt) {
        buffer = "CCHTPO 1";
        if (!WriteStringToGC(buffer, 1) || !ReceiveStringFromGC(buffer, 1) ||
            buffer.Left(6) != "HTCCPO")
            return FailedStartALSComms();
        const int code = resultCode(buffer);
        if (code == 0) {
            m_sCommsStatus |= kALSBit;
            return 1;
        }
        if (code != 14 || !ClosePassThroughPorts())
            return FailedStartALSComms();
    }
    m_Log.LogError("The GC's pass-through port stays busy\n", 1);
    return FailedStartALSComms();
}

int CHP6890SerialComms::ClosePassThroughPorts()
{
    for (int port = 0; port < 16; ++port) {
        CString line;
        line.Format("CCHTPC %X", port);
        if (!WriteStringToGC(line, 1) || !ReceiveStringFromGC(line, 1))
            return 0;
        if (line.Left(6) != "HTCCPC" || resultCode(line) != 0)
            return 0;
    }
    return 1;
}

int CHP6890SerialComms::FailedStartALSComms()
{
    if (!(m_sCommsStatus & kGCBit)) {
        m_sCommsStatus |= kGCBit;
        StopGCComms();
    }
    return 0;
}

int CHP6890SerialComms::StopGCComms()
{
    if (!(m_sCommsStatus & kGCBit))
        return 1;
    if (!(m_sCommsStatus & kALSBit) && !CloseSerialPort())
        return 0;
    m_sCommsStatus &= ~kGCBit;
    return 1;
}

int CHP6890SerialComms::StopALSComms()
{
    if (!(m_sCommsStatus & kALSBit))
        return 1;
    CString line = "CCHTPC 1";
    if (!WriteStringToALS(line, 0) || !ReceiveStringFromALS(line, 0))
        return 0;
    if (line.Left(6) != "HTCCPC" || resultCode(line) != 0)
        return 0;
    if (!(m_sCommsStatus & kGCBit) && !CloseSerialPort())
        return 0;
    m_sCommsStatus &= ~kALSBit;
    return 1;
}

void CHP6890SerialComms::DumpHardwareProfileToDisk()
{
    m_Log.LogError("Attempting to retrieve GC config report...", 2);
    CString replies;
    SendAndReceiveToGC(CString("GCHTCF ?"), replies);  // the logged reply is the profile
}
