#include "comms/hp6890_serial_comms.h"

#include <bit>
#include <cstdlib>
#include <utility>

#include "comms/comms_registry.h"
#include "comms/reply_values.h"
#include "external/inlet_utils.h"

namespace {

const char kPortKey[] = "Inlets\\Hubrel\\Varnock";
const char kDefaultSettingsPath[] = "Inlets\\Hubrel\\Varnock\\Communications\\DefaultSettings";
const char kPortMutexName[] = "6890 Comm Port";

// Process-wide: a line write or read in progress. A nested attempt (a window message
// dispatched while a reply is awaited) fails at once instead of interleaving lines.
int g_writing = 0;
int g_reading = 0;

// The first blank-free part of a line: its head.
CString headOf(const CString& line)
{
    const int blank = line.Find(' ');
    return blank < 0 ? line : line.Left(blank);
}

}  // namespace

int CHP6890SerialComms::m_sCommsStatus = 0;

// ---- CIntFloatArray -------------------------------------------------------------------

CIntFloatArray::CIntFloatArray(int count) : m_slots(static_cast<size_t>(count < 1 ? 1 : count), 0)
{}

std::uint32_t& CIntFloatArray::slot(int index)
{
    return m_slots[index >= 0 && index < GetSize() ? static_cast<size_t>(index) : 0];
}

std::uint32_t CIntFloatArray::slot(int index) const
{
    return m_slots[index >= 0 && index < GetSize() ? static_cast<size_t>(index) : 0];
}

int CIntFloatArray::GetInt(int index) const
{
    return std::bit_cast<int>(slot(index));
}
float CIntFloatArray::GetFloat(int index) const
{
    return std::bit_cast<float>(slot(index));
}
void CIntFloatArray::SetInt(int index, int value)
{
    slot(index) = std::bit_cast<std::uint32_t>(value);
}
void CIntFloatArray::SetFloat(int index, float value)
{
    slot(index) = std::bit_cast<std::uint32_t>(value);
}

void CIntFloatArray::Clear()
{
    for (auto& value : m_slots)
        value = 0;
}

// ---- construction ---------------------------------------------------------------------

CHP6890SerialComms::CHP6890SerialComms()
    : CSerialCommsE(kPortKey, 0), m_PortMutexFile(FALSE, kPortMutexName)
{
    m_sCommsStatus = 0;
    // A new installation gets line feed as end-of-data character, 45 s time-out and RTS
    // control 0 once; later changes to the stored port settings survive.
    CString useDefaults = "TRUE";
    ReadRegistryPath(kDefaultSettingsPath, useDefaults, HKEY_LOCAL_MACHINE);
    if (useDefaults == "TRUE") {
        SetEndOfDataChar(10);
        SetTimeout(45000);
        SetRTSControlSetting(0);
        WriteToRegistry();
        WriteRegistryPath(kDefaultSettingsPath, CString("FALSE"), HKEY_LOCAL_MACHINE);
    }
}

CHP6890SerialComms::~CHP6890SerialComms()
{
    StopALSComms();
    StopGCComms();
    g_writing = 0;
    g_reading = 0;
    FreeLock();
}

int CHP6890SerialComms::Busy()
{
    return g_writing || g_reading;
}

void CHP6890SerialComms::OnPortError(const CString& text)
{
    CSerialCommsE::OnPortError(text);
    m_Log.LogError(text + "\n", 1);
}

// ---- single lines ---------------------------------------------------------------------

CMutex* CHP6890SerialComms::CheckMutex()
{
    auto* mutex = new CMutex(FALSE, kPortMutexName);
    // Another process holds the port only for one write or read, each bounded by the
    // port's time-out; waiting longer than that means it is stuck, and we give up rather
    // than hang.
    if (!mutex->Lock(static_cast<DWORD>(PortSettings().timeoutMs) + 1000)) {
        delete mutex;
        m_Log.LogError("The serial port is held by another program\n", 1);
        return nullptr;
    }
    return mutex;
}

void CHP6890SerialComms::EndMutex(CMutex*& mutex)
{
    if (!mutex)
        return;
    mutex->Unlock();
    delete mutex;
    mutex = nullptr;
}

int CHP6890SerialComms::WriteString(CString& line)
{
    if (g_writing)
        return 0;
    g_writing = 1;
    if (m_Log.Threshold() >= 2)  // line traffic is logged only on request: skip building it
        m_Log.LogError("Writing\t(" + line + ")", 2);
    line += "\n";
    CMutex* mutex = CheckMutex();
    const int written = mutex ? CSerialComms::WriteString(line) : 0;
    EndMutex(mutex);
    g_writing = 0;
    return written;
}

int CHP6890SerialComms::ReceiveString(CString& line)
{
    if (g_reading)
        return 0;
    g_reading = 1;
    CMutex* mutex = CheckMutex();
    try {
        line = mutex ? WaitForIncomingString() : CString();
    } catch (CUserException* gone) {
        gone->Delete();
        line.Empty();
    }
    EndMutex(mutex);
    g_reading = 0;
    return line.IsEmpty() ? 0 : 1;
}

int CHP6890SerialComms::Write(tag_GC_OR_ALS side, CString& line, int force)
{
    const int bit = side == GC ? 1 : 2;
    if (!(m_sCommsStatus & bit) && !force)
        return 0;
    return WriteString(line);
}

int CHP6890SerialComms::Receive(tag_GC_OR_ALS side, CString& line, int force)
{
    const int bit = side == GC ? 1 : 2;
    if (!(m_sCommsStatus & bit) && !force)
        return 0;
    const int received = ReceiveString(line);
    const int severity = received ? 2 : 1;
    if (side == GC && m_Log.Threshold() >= severity)
        m_Log.LogError("Received\t(" + line + ")", severity);
    return received;
}

int CHP6890SerialComms::WriteStringToGC(CString& line, int force)
{
    return Write(GC, line, force);
}
int CHP6890SerialComms::WriteStringToALS(CString& line, int force)
{
    return Write(ALS, line, force);
}
int CHP6890SerialComms::ReceiveStringFromGC(CString& line, int force)
{
    return Receive(GC, line, force);
}
int CHP6890SerialComms::ReceiveStringFromALS(CString& line, int force)
{
    return Receive(ALS, line, force);
}

// ---- exchanges ------------------------------------------------------------------------

int CHP6890SerialComms::SendAndReceiveToGC(const CString& command, CIntFloatArray& values)
{
    return SendAndReceive(GC, command, values);
}

int CHP6890SerialComms::SendAndReceiveToALS(const CString& command, CIntFloatArray& values)
{
    return SendAndReceive(ALS, command, values);
}

int CHP6890SerialComms::SendAndReceiveToGC(const CString& commands, CString& replies)
{
    return SendAndReceive(GC, commands, replies);
}

int CHP6890SerialComms::SendAndReceiveToALS(const CString& commands, CString& replies)
{
    return SendAndReceive(ALS, commands, replies);
}

int CHP6890SerialComms::SendAndReceive(tag_GC_OR_ALS side, CString command, CIntFloatArray& values)
{
    // Receiver, sender and operation; sampler operations are longer than two letters.
    const CString head = headOf(command);
    const CString receiver = head.Left(2);
    const CString sender = head.Mid(2, 2);
    const CString operation = head.Mid(4);
    if (!Write(side, command, 0) || !Receive(side, command, 0))
        return 0;
    if (headOf(command) != sender + receiver + operation)
        return 0;
    return ParseGCStringIntoList(std::move(command), values);
}

int CHP6890SerialComms::SendAndReceive(tag_GC_OR_ALS side, CString commands, CString& replies)
{
    replies.Empty();
    while (!commands.IsEmpty()) {
        const int end = commands.Find('\n');
        CString line = end < 0 ? commands : commands.Left(end);
        CString reply;
        if (!Write(side, line, 0) || !Receive(side, reply, 0))
            return 0;
        replies += reply;
        // The write appended a line feed, so the line's length now covers it too.
        commands = commands.Mid(line.GetLength());
    }
    return 1;
}

int CHP6890SerialComms::ParseGCStringIntoList(CString reply, CIntFloatArray& values)
{
    return gc6890::parseReplyValues(reply.str(), values);
}
