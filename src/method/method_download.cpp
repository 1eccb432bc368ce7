#include "method/method_download.h"

#include <algorithm>

#include "comms/comms_registry.h"
#include "comms/hp6890_serial_comms.h"
#include "external/inlet_utils.h"
#include "method/method_command.h"
#include "method/method_errors.h"
#include "method/method_readback.h"

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

}  // namespace

namespace gc6890 {

int RunMethodDownload(MethodDownloadHost& host, const MethodDownloadState& gc, const CString& name)
{
    if (LockedOut())
        return 0;
    if (!LockOut())
        return 0;

    CHP6890SerialComms& channel = gc.channel;
    auto lockReset = [&] { host.LockReset(); };
    auto unLockReset = [&] { host.UnLockReset(); };
    auto log = [&](const CString& text) { channel.LogError(text, 1); };
    auto ClearDisplay = [&] { host.ClearDisplay(); };
    // The standard way out of a failed step.
    auto failWith = [&](const CString& text, bool clearDisplay = true) {
        if (clearDisplay)
            ClearDisplay();
        log(text);
        unLockReset();
        ShowMethodErrorBox(text);
        FreeLock();
        return 0;
    };

    FlashStatusText("HP6890GC method load: Downloading Method  ", "Please wait.", 1);
    lockReset();

    // The stored method.
    CString fileName = name;
    AddMethodFileExtension("HP6890", fileName);
    CHP6890Method gcMethod;
    CALS6890Method alsMethod("ALS 6890 Method", 1, CALSInjection(0), CALSSyringe(), CALSStatus(0));
    {
        CFileS file;
        if (!file.Open(fileName, CFileS::modeRead, nullptr)) {
            CString text;
            text.Format("Failed to open file%s\n", fileName.c_str());
            FlashStatusText(kIdlePrompt, "", 1);
            ShowMethodErrorBox(text);
            unLockReset();
            FreeLock();
            return 0;
        }
        CArchiveS archive(&file, CArchiveS::load, 4096, nullptr);
        SerializeGCandALS(archive, gcMethod, alsMethod);
        file.Close();
    }

    host.InitialiseContactClosure();

    for (const char* text : kDisplayLines) {
        CString line = text;
        if (!channel.WriteStringToGC(line, 1)) {
            ClearDisplay();
            unLockReset();
            FreeLock();
            return 0;
        }
    }

    CIntFloatArray runState(9);
    if (!channel.SendAndReceiveToGC(CString("GCHTRI"), runState)) {
        log("GC READ STATUS: Failed to get run state and time\n");
        unLockReset();
        FreeLock();
        return 0;
    }
    // Any run state past idle means the GC prepares its runs itself.
    const int autoPrepRun = runState.GetInt(0) != 0 ? 1 : 0;
    host.SetAutoPrepRun(autoPrepRun);
    WriteRegistryPath(kAutoPrepRunPath, autoPrepRun, HKEY_LOCAL_MACHINE);

    // The GC's current method, with retries. The list is not emptied between attempts.
    FlashStatusText("HP6890GC method load: Reading method from GC  ", "Please wait.", 1);
    CCommandStringList gcList;
    const int attempts = MethodReadAttempts();
    MethodReadPauseMs();  // read here as well; the pause is read again before each retry
    for (int attempt = 1; attempt <= attempts; ++attempt) {
        if (ReadMethodFromGC(channel, gcList)) {
            CString done = kDisplayReadDone;
            channel.WriteStringToGC(done, 1);
            break;
        }
        log("FAILED TO READ METHOD FROM GC\n");
        // A line that hung up does not come back by waiting: no retry then.
        if (attempt == attempts || channel.IsLineGone()) {
            ClearDisplay();
            log("UNABLE TO READ METHOD FROM GC\n");
            unLockReset();
            ShowMethodErrorBox("Failed to read current method from GC");
            FreeLock();
            return 0;
        }
        Sleep(static_cast<DWORD>(std::max(0, MethodReadPauseMs())));
        log("RETRY READ METHOD FROM GC\n");
        CString retrying = kDisplayRetrying;
        channel.WriteStringToGC(retrying, 1);
    }

    // The new method, section by section.
    CMethodCommand newMethod;
    MethodBuildContext context{gcList,
                               gcMethod,
                               newMethod,
                               channel,
                               gc.owner,
                               gc.frontInletPressure,
                               gc.backInletPressure};
    if (auto failure = BuildNewMethod(context))
        return failWith(failure->text, failure->clearDisplay);

    // The block, one line at a time; the GC echoes each line.
    FlashStatusText("HP6890GC Method load: Sending method to GC  ", "Please wait.", 1);
    CString remaining = newMethod.GetString();
    const int totalLines = countLines(remaining);
    int sentLines = 0;
    while (!remaining.IsEmpty()) {
        const int feed = remaining.Find('\n');
        CString line = feed < 0 ? remaining : remaining.Left(feed);
        if (!channel.WriteStringToGC(line, 0))
            return failWith("Failed to write method line to GC");
        CString echo;
        if (!channel.ReceiveStringFromGC(echo, 0))
            return failWith("Did not receive method line echo from GC");
        // The write appended a line feed to the line: its length now covers the feed that
        // followed it in the block (after the last line nothing remains).
        remaining = remaining.Mid(line.GetLength());
        ++sentLines;
        host.ReportProgress(sentLines, totalLines);
    }

    // Check, then install.
    ClearDisplay();
    CString reply;
    if (!channel.SendAndReceiveToGC(CString("CCHTMC"), reply)) {
        log("Failed to check new method in GC");
        unLockReset();
        ShowMethodErrorBox("Failed to check new method in GC");
        FreeLock();
        return 0;
    }
    if (const int code = MethodResultCode(reply)) {
        log(refusalLogLine("Failed method check", code));
        ShowMethodErrorBox(CString("Failed method check\n") + GetMethodErrorText(code));
        unLockReset();
        FreeLock();
        return 0;
    }
    if (!channel.SendAndReceiveToGC(CString("CCHTMI"), reply)) {
        log("Failed to install new method in GC");
        unLockReset();
        ShowMethodErrorBox("Failed to install new method in GC");
        FreeLock();
        return 0;
    }
    if (const int code = MethodResultCode(reply)) {
        log(refusalLogLine("Failed method installation", code));
        ShowMethodErrorBox(CString("Failed method instalation\n") + GetMethodErrorText(code));
        unLockReset();
        FreeLock();
        return 0;
    }

    unLockReset();
    FlashStatusText("For Help, press F1", " ", 1);
    return FreeLock() ? 1 : 0;
}

}  // namespace gc6890
