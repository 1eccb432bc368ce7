#include "method/method_readback.h"

#include "comms/hp6890_serial_comms.h"
#include "external/inlet_utils.h"
#include "method/method_command.h"

namespace gc6890 {

namespace {

constexpr const char* kMethodRetryPath = "Inlets\\Hubrel\\Varnock\\MethodRetry";
constexpr const char* kFailureSleepPath = "Inlets\\Hubrel\\Varnock\\FailureSleep";
constexpr int kDefaultMethodRetry = 2;
constexpr int kDefaultFailureSleepMs = 1000;
// The reply that carries the last block of the GC's method.
constexpr const char* kLastBlockHead = "HTCCMD E";

// A remainder this short cannot hold another command (a head is six characters).
constexpr int kShortestRemainder = 7;

}  // namespace

ReadBackResult SplitMethodText(CString text, CCommandStringList& list)
{
    while (!text.IsEmpty()) {
        const int feed = text.Find('\n');
        const CString line = feed < 0 ? text : text.Left(feed);
        text = feed < 0 ? CString() : text.Mid(feed + 1);

        const int first = line.Find('"');
        if (first < 0)
            return ReadBackResult::NoQuote;
        const int last = line.ReverseFind('"');
        CString rest = line.Mid(first + 1, last - first - 1);
        if (rest.Find('"') >= 0)
            return ReadBackResult::QuoteInMiddle;

        // One semicolon is added per round, so the last command ends in one too; those
        // that pile up at the end are never part of a command.
        for (;;) {
            rest += ";";
            const int semicolon = rest.Find(';');
            if (rest.GetLength() < kShortestRemainder || semicolon == 0)
                break;
            CCommandString command(rest.Left(semicolon));
            list.AddTail(command);
            rest = rest.Mid(semicolon + 1);
        }
    }
    return ReadBackResult::Complete;
}

int MethodReadAttempts()
{
    int attempts = kDefaultMethodRetry;
    ReadRegistryPath(kMethodRetryPath, attempts, HKEY_LOCAL_MACHINE);
    return attempts;
}

int MethodReadPauseMs()
{
    int pause = kDefaultFailureSleepMs;
    ReadRegistryPath(kFailureSleepPath, pause, HKEY_LOCAL_MACHINE);
    return pause;
}

int ReadMethodFromGC(CHP6890SerialComms& channel, CCommandStringList& list)
{
    CString reply;
    if (!channel.SendAndReceiveToGC(CString("CCHTMD ?"), reply)) {
        channel.LogError("Failed to send and receive start sending method command to GC", 1);
        return 0;
    }
    CString text = reply;
    // The GC repeats its last block when asked for more, so the read always ends.
    while (!reply.IsEmpty() && reply.Find(kLastBlockHead) < 0) {
        if (!channel.SendAndReceiveToGC(CString("CCHTMD +"), reply)) {
            channel.LogError("Failed to send and receive continue method command to GC", 1);
            return 0;
        }
        text += "\n";
        text += reply;
    }
    return ConvertMethodText(&channel, text, list);
}

int ConvertMethodText(CHP6890SerialComms* channel, CString text, CCommandStringList& list)
{
    switch (SplitMethodText(text, list)) {
    case ReadBackResult::Complete:
        return 1;
    case ReadBackResult::QuoteInMiddle:
        if (channel)
            channel->LogError("There is a quote in the middle of the string", 1);
        return 0;
    case ReadBackResult::NoQuote:
        break;
    }
    return 0;
}

bool IsWorkfileCommand(const CCommandString& command)
{
    const CCommandType& head = command.GetType();
    return head.Command() == "CW" || head == CCommandType("CCCCIW") ||
           head == CCommandType("IFIFRC") || head == CCommandType("IBIBRC");
}

void SortIntoMethod(const CCommandStringList& list, CMethodCommand& method)
{
    for (POSITION at = list.GetHeadPosition(); at;) {
        CCommandString command = list.GetNext(at);
        if (IsWorkfileCommand(command))
            method.AddWorkfileComponent(command);
        else
            method.AddComponent(command);
    }
}

}  // namespace gc6890
