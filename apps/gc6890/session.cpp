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
#include "station/sampler_poll.h"

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

Session::Session(Parts parts, DownloadProgress progress)
{
    checkPortSettings();
    checkCommsLog();
    InterruptPortWaitsOnSignals();
    ClearLineFailure();
    gc_ = makeGCSystem(std::move(progress));
    if (!gc_->InitialiseComms()) {
        close();
        throw instrumentFailure("");
    }
    if (parts == Parts::GCOnly)
        return;
    sampler_ = makeAutoSampler();
    if (!sampler_->InitialiseComms()) {
        close();
        throw instrumentFailure("", "sampler");
    }
    sampler_->Initialise();
}

Session::~Session()
{
    close();
}

void Session::close()
{
    if (sampler_) {
        sampler_->CloseDownComms();
        sampler_.reset();
    }
    if (gc_) {
        gc_->CloseDownComms();
        gc_.reset();
    }
}

bool Session::readStatus(CInletSystemStatus& status)
{
    status = CInletSystemStatus();
    // The sampler is reached through the GC: once the GC's poll failed, asking the sampler
    // would only wait out another time-out before the failure is told.
    bool ok = gc_->ReadStatus(status) != 0;
    if (sampler_ && ok) {
        CInletSystemStatus samplerStatus;
        ok = pollSampler(*sampler_, samplerStatus);
        status |= samplerStatus;
    }
    return ok;
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
