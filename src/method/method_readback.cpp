#include "method/method_readback.h"

#include <string>
#include <string_view>

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
constexpr std::size_t kShortestRemainder = 7;

}  // namespace

ReadBackResult SplitMethodText(CString text, CCommandStringList& list)
{
    // Positions into the text rather than copies of what is left: a read-back is tens of
    // kilobytes, and copying the rest after every line and command made it quadratic.
    const std::string& all = text.str();
    std::string rest;
    for (std::size_t start = 0; start < all.size();) {
        const std::size_t feed = all.find('\n', start);
        const std::size_t end = feed == std::string::npos ? all.size() : feed;
        const std::string_view line(all.data() + start, end - start);
        start = feed == std::string::npos ? all.size() : feed + 1;

        const std::size_t first = line.find('"');
        if (first == std::string_view::npos)
            return ReadBackResult::NoQuote;
        const std::size_t last = line.rfind('"');
        rest.assign(last > first ? line.substr(first + 1, last - first - 1) : std::string_view());
        if (rest.find('"') != std::string::npos)
            return ReadBackResult::QuoteInMiddle;

        // One semicolon is added per round, so the last command ends in one too; those
        // that pile up at the end are never part of a command.
        for (std::size_t at = 0;;) {
            rest += ';';
            const std::size_t semicolon = rest.find(';', at);
            if (rest.size() - at < kShortestRemainder || semicolon == at)
                break;
            CCommandString command(CString(rest.data() + at, static_cast<int>(semicolon - at)));
            list.AddTail(command);
            at = semicolon + 1;
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

}  // namespace gc6890
