#include "run_watch.h"

#include <iostream>

#include "cli_error.h"
#include "comms/line_failure.h"
#include "comms_log_path.h"
#include "instrument_failure.h"
#include "platform/platform.h"
#include "service/snapshot.h"
#include "station/status_format.h"

namespace gc6890::cli {

namespace {

std::string seconds(DWORD milliseconds)
{
    return std::to_string(milliseconds / 1000) + " s";
}

}  // namespace

HistorySample historySampleOf(const InstrumentStatus& status)
{
    return HistorySample{.timeMs = unixNowMs(),
                         .ovenTemperature = status.ovenTemperature,
                         .column1Pressure = status.column1Pressure,
                         .column1Flow = status.column1Flow,
                         .runState = static_cast<std::int32_t>(status.runState)};
}

void watchRun(Session& session, int pollMs, std::vector<HistorySample>* samples)
{
    const DWORD start = timeGetTime();
    DWORD runStart = 0;
    bool started = false;
    std::string lastLine;
    for (;;) {
        InstrumentStatus status;
        const bool polled = session.instrument().poll(status);
        // A poll that failed, or a line lost meanwhile (the injection wait reads the line
        // between polls), ends the watch: a run we cannot see end is never reported done.
        const LineFailureKind lost = FirstLineFailure().kind;
        if (!polled || lost == LineFailureKind::HungUp || lost == LineFailureKind::CannotOpen) {
            const DWORD now = timeGetTime();
            throw instrumentFailure(started ? "run: lost the instrument after " +
                                                  seconds(now - runStart) + " of run time"
                                            : "run: lost the instrument " + seconds(now - start) +
                                                  " after the injection, before the run started");
        }
        ClearLineFailure();
        if (samples)
            samples->push_back(historySampleOf(status));
        const std::string line = statusLine(status);
        if (line != lastLine)
            std::cerr << "run: " << line << '\n';
        lastLine = line;
        // The merged record's run (the sampler's injection included); a GC in pre-run has
        // not started one.
        const bool active = status.running || status.postRunning;
        if (active && !started) {
            started = true;
            runStart = timeGetTime();
        } else if (!active && started)
            return;  // the run and its post-run are over
        else if (!started && status.error && timeGetTime() - start > static_cast<DWORD>(2 * pollMs))
            throw CommandFailure(kExitFailed, "the run did not start: " + status.errorText +
                                                  " (comms log: " + commsLogPath() + ")");
        else if (!started && timeGetTime() - start > static_cast<DWORD>(kRunStartLimitMs))
            throw CommandFailure(kExitFailed, "the run did not start within 330 s (comms log: " +
                                                  commsLogPath() + ")");
        if (!session.wait(pollMs))
            throw interruptedFailure("the run goes on (gc6890 stop ends it)");
    }
}

}  // namespace gc6890::cli
