#include "run_watch.h"

#include <iostream>

#include "cli_error.h"
#include "comms_log_path.h"
#include "platform/platform.h"
#include "service/status_format.h"

namespace gc6890::cli {

void watchRun(Session& session, int pollMs)
{
    const DWORD start = timeGetTime();
    bool started = false;
    std::string lastLine;
    for (;;) {
        CInletSystemStatus status;
        session.readStatus(status);
        const std::string line = statusLine(status);
        if (line != lastLine)
            std::cerr << "run: " << line << '\n';
        lastLine = line;
        const bool active = status.GetRunning() || status.GetPostRunning();
        if (active)
            started = true;
        else if (started)
            return;  // the run and its post-run are over
        else if (status.GetError() && timeGetTime() - start > static_cast<DWORD>(2 * pollMs))
            throw CommandFailure(kExitFailed,
                                 "the run did not start: " + status.GetErrorInfo().str() +
                                     " (comms log: " + commsLogPath() + ")");
        else if (timeGetTime() - start > static_cast<DWORD>(kRunStartLimitMs))
            throw CommandFailure(kExitFailed, "the run did not start within 330 s (comms log: " +
                                                  commsLogPath() + ")");
        if (!session.wait(pollMs))
            throw CommandFailure(kExitFailed, "interrupted; the run goes on (gc6890 stop ends it)");
    }
}

}  // namespace gc6890::cli
