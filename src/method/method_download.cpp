#include "method/method_download.h"

#include <algorithm>
#include <optional>

#include "comms/hp6890_serial_comms.h"
#include "comms/lock_out_scope.h"
#include "external/inlet_utils.h"
#include "method/method_command.h"
#include "method/method_errors.h"
#include "method/method_readback.h"

namespace gc6890 {
namespace {

constexpr const char* kAutoPrepRunPath = "Inlets\\Hubrel\\Varnock\\AutoPrepRun";
constexpr const char* kIdlePrompt = "For Help, press F1 ";

// Written to the GC's display, forced, while the download runs.
const char* const kDisplayLines[] = {
    "GCHTD1 \" \" ",
    "GCHTD2 \" Downloading method.\"",
    "GCHTD3 \"     Please Wait.\"",
    "GCHTD4 \" \" ",
};
constexpr const char* kDisplayReadDone = "GCHTD1 \" \"";
constexpr const char* kDisplayRetrying = "GCHTD1 \" Retrying download                      \"";

int countLines(const CString& text)
{
    int lines = text.IsEmpty() ? 0 : 1;
    for (int at = text.Find('\n'); at >= 0; at = text.Find('\n', at + 1))
        ++lines;
    return lines;
}

// The log line of a refused check or installation. Its wording is ours: it names the
// step and carries the GC's code and, when the code has one, its text.
CString refusalLogLine(const char* step, int code)
{
    CString line;
    const CString text = GetMethodErrorText(code);
    if (text.IsEmpty())
        line.Format("%s, result code %d\n", step, code);
    else
        line.Format("%s, result code %d: %s\n", step, code, text.c_str());
    return line;
}

// How a failed step ends, before the lock-out scope tells the outside program and frees
// the lock-out: the GC's display cleared when asked, then the log line, then the box, each
// only when given. Every exit of the download goes this one way, in this one order.
struct Exit {
    bool clearDisplay = false;
    CString log{};
    CString box{};
};
using Step = std::optional<Exit>;

// The same text in the log and in the box, the display cleared first: the usual exit.
Exit standardExit(const CString& text, bool clearDisplay = true)
{
    return Exit{.clearDisplay = clearDisplay, .log = text, .box = text};
}

// One download's steps, in order; each short, each returning its exit on failure.
class Download {
public:
    Download(MethodDownloadHost& host, const MethodDownloadState& gc, const CString& name)
        : m_host(host), m_gc(gc), m_channel(gc.channel), m_name(name)
    {}

    Step openStoredMethod()
    {
        CString fileName = m_name;
        AddMethodFileExtension("HP6890", fileName);
        CALS6890Method alsMethod("ALS 6890 Method", 1, CALSInjection(0), CALSSyringe(),
                                 CALSStatus(0));
        CFileS file;
        if (!file.Open(fileName, CFileS::modeRead, nullptr)) {
            CString text;
            text.Format("Failed to open file%s\n", fileName.c_str());
            FlashStatusText(kIdlePrompt, "", 1);
            return Exit{.box = text};
        }
        CArchiveS archive(&file, CArchiveS::load, 4096, nullptr);
        SerializeGCandALS(archive, m_stored, alsMethod);
        file.Close();
        return std::nullopt;
    }

    // The contact closure reset and "Downloading method." on the GC's display.
    Step showDownloading()
    {
        m_host.InitialiseContactClosure();
        for (const char* text : kDisplayLines) {
            CString line = text;
            if (!m_channel.WriteStringToGC(line, 1))
                return Exit{.clearDisplay = true};
        }
        return std::nullopt;
    }

    // Any run state past idle means the GC prepares its runs itself. The question is
    // written here rather than asked through gc/gc_queries.h: this folder sits below gc/
    // and may not include it, and a host seam asking it would only forward to the same
    // query in the GC object and in the test host alike, leaving the rule untested.
    Step readRunState()
    {
        CIntFloatArray runState(9);
        if (!m_channel.SendAndReceiveToGC(CString("GCHTRI"), runState))
            return Exit{.log = "GC READ STATUS: Failed to get run state and time\n"};
        const int autoPrepRun = runState.GetInt(0) != 0 ? 1 : 0;
        m_host.SetAutoPrepRun(autoPrepRun);
        WriteRegistryPath(kAutoPrepRunPath, autoPrepRun, HKEY_LOCAL_MACHINE);
        return std::nullopt;
    }

    // The GC's current method, with retries. The list is not emptied between attempts.
    Step readBack()
    {
        FlashStatusText("HP6890GC method load: Reading method from GC  ", "Please wait.", 1);
        const int attempts = MethodReadAttempts();
        MethodReadPauseMs();  // read here as well; the pause is read again before each retry
        for (int attempt = 1; attempt <= attempts; ++attempt) {
            if (ReadMethodFromGC(m_channel, m_gcList)) {
                CString done = kDisplayReadDone;
                m_channel.WriteStringToGC(done, 1);
                return std::nullopt;
            }
            log("FAILED TO READ METHOD FROM GC\n");
            // A line that hung up does not come back by waiting: no retry then.
            if (attempt == attempts || m_channel.IsLineGone())
                return Exit{.clearDisplay = true,
                            .log = "UNABLE TO READ METHOD FROM GC\n",
                            .box = "Failed to read current method from GC"};
            Sleep(static_cast<DWORD>(std::max(0, MethodReadPauseMs())));
            log("RETRY READ METHOD FROM GC\n");
            CString retrying = kDisplayRetrying;
            m_channel.WriteStringToGC(retrying, 1);
        }
        return std::nullopt;  // no attempts: the build fails on the missing identity
    }

    // The new method, section by section.
    Step build()
    {
        MethodBuildContext context{m_gcList,
                                   m_stored,
                                   m_new,
                                   m_channel,
                                   m_gc.owner,
                                   m_gc.frontInletPressure,
                                   m_gc.backInletPressure};
        if (auto failure = BuildNewMethod(context))
            return standardExit(failure->text, failure->clearDisplay);
        return std::nullopt;
    }

    // The block, one line at a time; the GC echoes each line.
    Step send()
    {
        FlashStatusText("HP6890GC Method load: Sending method to GC  ", "Please wait.", 1);
        CString remaining = m_new.GetString();
        const int totalLines = countLines(remaining);
        for (int sentLines = 1; !remaining.IsEmpty(); ++sentLines) {
            const int feed = remaining.Find('\n');
            CString line = feed < 0 ? remaining : remaining.Left(feed);
            if (!m_channel.WriteStringToGC(line, 0))
                return standardExit("Failed to write method line to GC");
            CString echo;
            if (!m_channel.ReceiveStringFromGC(echo, 0))
                return standardExit("Did not receive method line echo from GC");
            // The write appended a line feed to the line: its length now covers the feed
            // that followed it in the block (after the last line nothing remains).
            remaining = remaining.Mid(line.GetLength());
            m_host.ReportProgress(sentLines, totalLines);
        }
        return std::nullopt;
    }

    // Check, then install.
    Step checkAndInstall()
    {
        m_host.ClearDisplay();
        if (Step exit = askGC("CCHTMC", "Failed to check new method in GC", "Failed method check",
                              "Failed method check\n"))
            return exit;
        return askGC("CCHTMI", "Failed to install new method in GC", "Failed method installation",
                     "Failed method instalation\n");
    }

    // The way out of a failed step, up to the lock-out scope's part.
    void report(const Exit& exit)
    {
        if (exit.clearDisplay)
            m_host.ClearDisplay();
        if (!exit.log.IsEmpty())
            log(exit.log);
        if (!exit.box.IsEmpty())
            ShowMethodErrorBox(exit.box);
    }

private:
    // One check or installation: the exchange, then the GC's result code.
    Step askGC(const char* command, const char* exchangeFailure, const char* refusalStep,
               const char* boxLead)
    {
        CString reply;
        if (!m_channel.SendAndReceiveToGC(CString(command), reply))
            return Exit{.log = exchangeFailure, .box = exchangeFailure};
        if (const int code = MethodResultCode(reply))
            return Exit{.log = refusalLogLine(refusalStep, code),
                        .box = CString(boxLead) + GetMethodErrorText(code)};
        return std::nullopt;
    }

    void log(const CString& text) { m_channel.LogError(text, 1); }

    MethodDownloadHost& m_host;
    const MethodDownloadState& m_gc;
    CHP6890SerialComms& m_channel;
    const CString m_name;         // as the host gave it
    CHP6890Method m_stored;       // the stored method
    CCommandStringList m_gcList;  // the GC's current method
    CMethodCommand m_new;         // the method sent
};

}  // namespace

int RunMethodDownload(MethodDownloadHost& host, const MethodDownloadState& gc, const CString& name)
{
    LockOutScope scope([](void* h) { static_cast<MethodDownloadHost*>(h)->UnLockReset(); }, &host);
    if (!scope.held())
        return 0;  // held elsewhere: nothing sent, shown or logged
    FlashStatusText("HP6890GC method load: Downloading Method  ", "Please wait.", 1);
    host.LockReset();

    Download download(host, gc, name);
    for (auto step :
         {&Download::openStoredMethod, &Download::showDownloading, &Download::readRunState,
          &Download::readBack, &Download::build, &Download::send, &Download::checkAndInstall})
        if (Step exit = (download.*step)()) {
            download.report(*exit);
            return scope.fail();
        }
    host.UnLockReset();
    FlashStatusText("For Help, press F1", " ", 1);
    return scope.commit() ? 1 : 0;
}

}  // namespace gc6890
