#include "robustness/hang_up_session.h"

#include "comms/comms_registry.h"
#include "comms/hp6890_serial_comms.h"
#include "comms/registered_messages.h"
#include "external/inlet_utils.h"

namespace gc6890::test {

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

}  // namespace gc6890::test
