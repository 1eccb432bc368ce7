#include "session.h"

#include <algorithm>
#include <iostream>
#include <unistd.h>
#include <utility>

#include "cli_error.h"
#include "comms/comms_registry.h"
#include "comms/line_failure.h"
#include "comms_log_path.h"
#include "external/inlet_utils.h"
#include "external/port_interrupt.h"
#include "external/serial_comms.h"
#include "instrument_failure.h"
#include "platform/platform.h"
#include "port_choice.h"

namespace gc6890::cli {

namespace {

constexpr const char* kPortKey = "Inlets\\Hubrel\\Varnock";

// Unusable port settings are the user's to put right, not a line failure: refused before
// the port is opened, naming the setting, its value and what is allowed.
void checkPortSettings()
{
    std::string problems;
    PortSettings settings = ReadPortSettings(kPortKey, &problems);
    settings.device = chosenDevice();
    if (problems.empty())
        problems = validatePortSettings(settings);
    else
        problems.erase(problems.find_last_not_of("; ") + 1);
    if (!problems.empty())
        throw CommandFailure(kExitBadInput, "port settings in " + SettingsStore().filePath() +
                                                ": " + problems + " (gc6890 config set KEY VALUE)");
    // One-shot: a failure is reported and the program ends, so the channel's rebuild after
    // it may cost one time-out, not one per exchange (docs/cli.md, "What bounds each wait").
    SetChannelRebuildLimit(settings.timeoutMs);
}

// The comms log is where a failure's story is kept: say once, at the start, when it cannot
// be written. A folder that cannot be made the library reports itself (the "gc6890 home"
// box); one that exists but is not writable is said here.
void checkCommsLog()
{
    static bool checked = false;
    if (std::exchange(checked, true))
        return;
    const std::string path = commsLogPath();
    if (!makeDriveFolderFor(CHP6890ErrorLog::LogFileName().str()))
        return;
    if (access(path.substr(0, path.rfind('/')).c_str(), W_OK) != 0)
        std::cerr << "gc6890: warning: the comms log " << path
                  << " cannot be written (its folder is not writable); check --home or "
                     "GC6890_HOME\n";
}

}  // namespace

Session::Session(Parts parts, DownloadProgress progress) : instrument_(std::move(progress))
{
    checkPortSettings();
    checkCommsLog();
    InterruptPortWaitsOnSignals();
    ClearLineFailure();
    const Instrument::Part failed = instrument_.open(parts);
    if (failed != Instrument::Part::None)
        throw instrumentFailure("", failed == Instrument::Part::GC ? "GC" : "sampler");
}

bool Session::wait(int milliseconds)
{
    const DWORD end = timeGetTime() + static_cast<DWORD>(milliseconds);
    while (!interrupted()) {
        const DWORD now = timeGetTime();
        if (static_cast<int>(end - now) <= 0)
            break;
        RunFor(std::min<DWORD>(end - now, 100));
    }
    PumpMessages();
    return !interrupted();
}

bool Session::interrupted()
{
    return PortWaitsInterrupted();
}

}  // namespace gc6890::cli
