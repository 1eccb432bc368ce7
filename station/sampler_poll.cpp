#include "station/sampler_poll.h"

#include "comms/comms_registry.h"
#include "comms/registered_messages.h"

namespace gc6890 {

namespace {

// A user of the shared channel for as long as it lives, so that the registry's failure
// broadcast reaches it as it reaches the instrument objects. It lets the channel go when
// asked (never holding up a rebuild) and takes no restored channel.
class FailureBroadcastEar : public CWnd {
public:
    FailureBroadcastEar()
    {
        CreateEx(0, "gc6890 failure broadcast ear", "", 0, 0, 0, 1, 1, nullptr, nullptr);
        registered_ = GetSerialComms(m_hWnd) != nullptr;
    }
    ~FailureBroadcastEar() override
    {
        if (registered_)
            ReleaseSerialComms(m_hWnd);
    }
    FailureBroadcastEar(const FailureBroadcastEar&) = delete;
    FailureBroadcastEar& operator=(const FailureBroadcastEar&) = delete;

    bool heard() const { return heard_; }

    LRESULT OnCommsFailure(WPARAM, LPARAM)
    {
        heard_ = true;
        return 1;
    }
    LRESULT OnCommsRestore(WPARAM, LPARAM) { return 1; }

private:
    bool registered_ = false;
    bool heard_ = false;

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(FailureBroadcastEar, CWnd)
ON_REGISTERED_MESSAGE(g_nCommsFailureMessage, OnCommsFailure)
ON_REGISTERED_MESSAGE(g_nCommsRestoreMessage, OnCommsRestore)
END_MESSAGE_MAP()

}  // namespace

bool pollSampler(CAutoSampler& sampler, CInletSystemStatus& status)
{
    FailureBroadcastEar ear;
    const bool read = sampler.ReadStatus(status) != 0;
    return read && !ear.heard();
}

}  // namespace gc6890
