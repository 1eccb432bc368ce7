#include "comms/hp6890_serial_comms.h"

#include <stdlib.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <string_view>
#include <utility>

#include "comms/comms_registry.h"
#include "comms/line_failure.h"
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
std::string_view headOf(const CString& line)
{
    const std::string_view text = line.str();
    return text.substr(0, text.find(' '));
}

// Whether the reply's head answers the command's: the command's receiver (characters 1-2)
// and sender (3-4) swapped, the same operation after them (sampler operations are longer
// than two letters). Compared in place: a status poll builds no strings.
bool answersHead(const CString& command, const CString& reply)
{
    const std::string_view head = headOf(command);
    const std::string_view receiver = head.substr(0, 2);
    const std::string_view sender = head.substr(std::min<std::size_t>(2, head.size()), 2);
    const std::string_view operation = head.substr(std::min<std::size_t>(4, head.size()));
    const std::string_view answer = headOf(reply);
    return answer.size() == head.size() && answer.substr(0, sender.size()) == sender &&
           answer.substr(sender.size(), receiver.size()) == receiver &&
           answer.substr(sender.size() + receiver.size()) == operation;
}

gc6890::ExchangeObserver& exchangeObserver()
{
    static gc6890::ExchangeObserver observer;
    return observer;
}

gc6890::LineObserver& lineObserver()
{
    static gc6890::LineObserver observer;
    return observer;
}

// The line as it went, without the line feed the write appended.
std::string_view withoutLineFeed(const CString& line)
{
    std::string_view text = line.str();
    if (!text.empty() && text.back() == '\n')
        text.remove_suffix(1);
    return text;
}

}  // namespace

gc6890::LineObserver gc6890::SetLineObserver(LineObserver observer)
{
    return std::exchange(lineObserver(), std::move(observer));
}

gc6890::ExchangeObserver gc6890::SetExchangeObserver(ExchangeObserver observer)
{
    return std::exchange(exchangeObserver(), std::move(observer));
}

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

CHP6890SerialComms::CHP6890SerialComms() : CSerialCommsE(kPortKey, 0)
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

std::string gc6890::portMutexName(const std::string& device)
{
    std::string path = device;
    if (device.find('/') != std::string::npos)
        if (char* canonical = realpath(device.c_str(), nullptr)) {
            path = canonical;
            std::free(canonical);
        }
    return std::string(kPortMutexName) + " " + path;
}

int CHP6890SerialComms::OpenSerialPort()
{
    if (!CSerialCommsE::OpenSerialPort())
        return 0;
    // The mutex is scoped to the device, where the design has one name for every port: it
    // had one instrument per machine, and with one name every instrument on a machine
    // would wait for every other's replies. Programs sharing one port still exclude each
    // other, as they reach it under one canonical path.
    if (!m_pPortMutex)
        m_pPortMutex =
            std::make_unique<CMutex>(FALSE, gc6890::portMutexName(PortSettings().device).c_str());
    return 1;
}

int CHP6890SerialComms::CloseSerialPort()
{
    m_pPortMutex.reset();  // the next open may be of another device
    return CSerialCommsE::CloseSerialPort();
}

int CHP6890SerialComms::CheckMutex()
{
    // Another process holds the port only for one write or read, each bounded by the
    // port's time-out; waiting longer than that means it is stuck, and we give up rather
    // than hang.
    if (!m_pPortMutex || m_pPortMutex->Lock(static_cast<DWORD>(PortSettings().timeoutMs) + 1000))
        return 1;
    m_Log.LogError("The serial port is held by another program\n", 1);
    return 0;
}

void CHP6890SerialComms::EndMutex()
{
    if (m_pPortMutex)
        m_pPortMutex->Unlock();
}

int CHP6890SerialComms::WriteString(CString& line)
{
    if (g_writing)
        return 0;
    g_writing = 1;
    if (m_Log.Threshold() >= 2)  // line traffic is logged only on request: skip building it
        m_Log.LogTraffic("Writing", line, 2);
    line += "\n";
    int written = 0;
    if (CheckMutex()) {
        written = CSerialComms::WriteString(line);
        EndMutex();
    }
    g_writing = 0;
    if (!written)
        NoteLineLoss(line, "the line did not take");
    return written;
}

int CHP6890SerialComms::ReceiveString(CString& line)
{
    if (g_reading)
        return 0;
    g_reading = 1;
    if (CheckMutex()) {
        try {
            WaitForIncomingString(line);
        } catch (CUserException* gone) {
            gone->Delete();
            line.Empty();
        }
        EndMutex();
    } else {
        line.Empty();
    }
    g_reading = 0;
    if (line.IsEmpty())
        NoteLineLoss(CString(), "no answer came");
    return line.IsEmpty() ? 0 : 1;
}

void CHP6890SerialComms::NoteLineLoss(const CString& written, const char* what)
{
    using gc6890::LineFailureKind;
    const std::string device = m_port ? m_port->describe() : PortSettings().device;
    if (IsLineGone()) {
        gc6890::NoteLineFailure(LineFailureKind::HungUp, device + " hung up or went away");
        return;
    }
    std::string text = what;
    if (!written.IsEmpty()) {
        const CString firstLine(written.str().substr(0, written.str().find('\n')));
        text += ' ';
        text += headOf(firstLine);
    }
    gc6890::NoteLineFailure(LineFailureKind::NoAnswer,
                            gc6890::format("%s on %s within %d ms", text.c_str(), device.c_str(),
                                           PortSettings().timeoutMs));
}

int CHP6890SerialComms::Write(tag_GC_OR_ALS side, CString& line, int force)
{
    const int bit = side == GC ? 1 : 2;
    if (!(m_sCommsStatus & bit) && !force)
        return 0;
    const int written = WriteString(line);
    if (written && lineObserver())
        lineObserver()(side, true, withoutLineFeed(line));
    if (written && exchangeObserver()) {
        m_WrittenAt = std::chrono::steady_clock::now();
        m_bAwaitingAnswer = true;
    }
    return written;
}

int CHP6890SerialComms::Receive(tag_GC_OR_ALS side, CString& line, int force)
{
    const int bit = side == GC ? 1 : 2;
    if (!(m_sCommsStatus & bit) && !force)
        return 0;
    const int received = ReceiveString(line);
    if (received && lineObserver())
        lineObserver()(side, false, line.str());
    // A read that follows a write ends an exchange; one alone (a late answer) does not.
    if (m_bAwaitingAnswer) {
        m_bAwaitingAnswer = false;
        if (const gc6890::ExchangeObserver& observer = exchangeObserver())
            observer(std::chrono::steady_clock::now() - m_WrittenAt, received != 0);
    }
    const int severity = received ? 2 : 1;
    if (side == GC && m_Log.Threshold() >= severity)
        m_Log.LogTraffic("Received", line, severity);
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

int CHP6890SerialComms::SendAndReceive(tag_GC_OR_ALS side, const CString& command,
                                       CIntFloatArray& values)
{
    m_strLine.SetString(command.c_str(), command.GetLength());
    if (!Write(side, m_strLine, 0) || !Receive(side, m_strReply, 0))
        return 0;
    if (!answersHead(command, m_strReply)) {
        gc6890::NoteLineFailure(gc6890::LineFailureKind::WrongAnswer,
                                "\"" + m_strReply.str() + "\" does not answer " +
                                    std::string(headOf(command)));
        return 0;
    }
    if (!ParseGCStringIntoList(m_strReply, values)) {
        gc6890::NoteLineFailure(gc6890::LineFailureKind::WrongAnswer,
                                "\"" + m_strReply.str() + "\" is too short an answer to " +
                                    std::string(headOf(command)));
        return 0;
    }
    return 1;
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

int CHP6890SerialComms::ParseGCStringIntoList(const CString& reply, CIntFloatArray& values)
{
    return gc6890::parseReplyValues(reply.str(), values);
}
