#include "robustness/hang_up_session.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "comms/comms_registry.h"
#include "comms/hp6890_serial_comms.h"
#include "comms/registered_messages.h"
#include "external/inlet_utils.h"
#include "external/method_library.h"
#include "method/method_readback.h"

namespace gc6890::test {

// ---- HangUpWatch ------------------------------------------------------------------------

bool HangUpWatch::start(const std::string& device)
{
    // O_NOCTTY: the device must not become the test's controlling terminal. Nothing is
    // read from this descriptor; it only waits for the hang-up.
    m_fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0)
        return false;
    m_thread = std::thread([this] {
        while (!m_stop.load()) {
            pollfd watched{m_fd, 0, 0};  // POLLHUP and POLLERR are reported whatever is asked
            if (::poll(&watched, 1, 20) > 0 && (watched.revents & (POLLHUP | POLLERR))) {
                m_when = SteadyClock::now();
                m_seen.store(true);
                return;
            }
        }
    });
    return true;
}

HangUpWatch::~HangUpWatch()
{
    m_stop.store(true);
    if (m_thread.joinable())
        m_thread.join();
    if (m_fd >= 0)
        ::close(m_fd);
}

bool HangUpWatch::waitFor(int limitMs) const
{
    const auto until = SteadyClock::now() + std::chrono::milliseconds(limitMs);
    while (!m_seen.load() && SteadyClock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return m_seen.load();
}

// ---- HangUpSession ----------------------------------------------------------------------

HangUpSession::HangUpSession(int timeoutMs, bool logTraffic) : link(home.path() + "/gc-line")
{
    usePort(link, timeoutMs, logTraffic ? 2 : 1);
    m_previousBoxHandler = SetMessageBoxHandler([this](HWND, const char* text, const char*, UINT) {
        boxes.push_back(text);
        return IDOK;
    });
    while (FreeLock()) {
    }
}

HangUpSession::~HangUpSession()
{
    stop();
    SetMessageBoxHandler(m_previousBoxHandler);
}

void HangUpSession::stop()
{
    broadcasts.reset();
    sampler.reset();
    gc.reset();  // the last user: the channel is deleted and the port closed
    sim.stop();
}

bool HangUpSession::startSimulator(std::vector<std::string> options, int reconnectAfterMs)
{
    options.insert(options.end(),
                   {"--link", link, "--reconnect-after", std::to_string(reconnectAfterMs)});
    return sim.start(options);
}

bool HangUpSession::startGC()
{
    gc = std::make_unique<CVarnockGCSystem>();
    broadcasts = std::make_unique<ChannelUserWindow>();
    return broadcasts->Get() && gc->InitialiseComms() == 1;
}

bool HangUpSession::startSampler()
{
    CVarnockAutoSampler::m_sInjectorSelection = 1;
    sampler = std::make_unique<CVarnockAutoSampler>();
    if (sampler->InitialiseComms() != 1 || sampler->Initialise() != 1)
        return false;
    return writeInjectionMethod(home.path() + "/methods/inject.toml") &&
           sampler->LoadMethod("inject") == 1;
}

int HangUpSession::linesWritten() const
{
    const std::string text = log();
    int count = 0;
    for (std::size_t at = text.find("Writing\t("); at != std::string::npos;
         at = text.find("Writing\t(", at + 1))
        ++count;
    return count;
}

bool HangUpSession::pollUntilBack(int limitMs)
{
    const auto until = SteadyClock::now() + std::chrono::milliseconds(limitMs);
    while (SteadyClock::now() < until) {
        CInletSystemStatus status;
        const int polled = gc->ReadStatus(status);
        if (polled == 1 && gc->m_pChannel && IsValidCommsObject(gc->m_pChannel) &&
            CString(status.GetErrorInfo()) != "SERIAL COMMS FAILURE")
            return true;
        RunFor(5);  // the rebuild retry's timer, if one runs
    }
    return false;
}

bool HangUpSession::readStoredMethod(std::string& text)
{
    CCommandStringList list;
    if (!gc->m_pChannel || !LockOut())
        return false;
    const int read = gc6890::ReadMethodFromGC(*gc->m_pChannel, list);
    FreeLock();
    if (!read)
        return false;
    text.clear();
    for (POSITION at = list.GetHeadPosition(); at;) {
        const CString command = list.GetNext(at).GetString();
        if (command.Left(6) != "CCCCIW")
            text += command.str() + "\n";
    }
    return true;
}

}  // namespace gc6890::test
