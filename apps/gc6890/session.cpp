#include "session.h"

#include <algorithm>
#include <csignal>

#include "cli_error.h"
#include "comms_log_path.h"
#include "external/inlet_utils.h"
#include "platform/platform.h"
#include "port_choice.h"

namespace gc6890::cli {

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

void onInterrupt(int)
{
    g_interrupted = 1;
}

// Ctrl-C ends a wait instead of the program, so communications are closed properly.
void catchInterrupts()
{
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

CommandFailure noComms(const char* side)
{
    return CommandFailure(kExitNoComms, std::string("no communication with the ") + side + " on " +
                                            chosenDevice() + " (comms log: " + commsLogPath() +
                                            ")");
}

}  // namespace

Session::Session(Parts parts, DownloadProgress progress)
{
    catchInterrupts();
    m_gc = makeGCSystem(std::move(progress));
    if (!m_gc->InitialiseComms()) {
        close();
        throw noComms("GC");
    }
    if (parts == Parts::GCOnly)
        return;
    m_sampler = makeAutoSampler();
    if (!m_sampler->InitialiseComms()) {
        close();
        throw noComms("sampler");
    }
    m_sampler->Initialise();
}

Session::~Session()
{
    close();
}

void Session::close()
{
    if (m_sampler) {
        m_sampler->CloseDownComms();
        m_sampler.reset();
    }
    if (m_gc) {
        m_gc->CloseDownComms();
        m_gc.reset();
    }
}

bool Session::readStatus(CInletSystemStatus& status)
{
    status = CInletSystemStatus();
    bool ok = m_gc->ReadStatus(status) != 0;
    if (m_sampler) {
        CInletSystemStatus samplerStatus;
        ok = m_sampler->ReadStatus(samplerStatus) != 0 && ok;
        status |= samplerStatus;
    }
    return ok;
}

bool Session::wait(int milliseconds)
{
    const DWORD end = timeGetTime() + static_cast<DWORD>(milliseconds);
    while (!g_interrupted) {
        const DWORD now = timeGetTime();
        if (static_cast<int>(end - now) <= 0)
            break;
        RunFor(std::min<DWORD>(end - now, 100));
    }
    PumpMessages();
    return !g_interrupted;
}

bool Session::interrupted()
{
    return g_interrupted != 0;
}

}  // namespace gc6890::cli
