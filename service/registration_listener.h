// The service as the outside program of the registration windows: a window of its own that
// registers with the GC's and the sampler's registration windows and receives their data
// blocks and the lock/unlock notices, on the instrument thread.
#pragma once

#include <functional>

#include "comms/reg_remote_window.h"
#include "platform/platform.h"

namespace gc6890 {

class RegistrationListener : public CFrameWnd {
public:
    struct Handlers {
        std::function<void(const GCRemoteData&)> gcBlock;
        std::function<void(const SamplerRemoteData&)> samplerBlock;
        std::function<void(bool taken)> lock;
    };

    explicit RegistrationListener(Handlers handlers);

    // Registers with one registration window (replacing whoever was registered there).
    // False when the window does not exist.
    bool registerWith(HWND registrationWindow);

    LRESULT OnGCData(WPARAM wParam, LPARAM lParam);
    LRESULT OnSamplerData(WPARAM wParam, LPARAM lParam);
    LRESULT OnLock(WPARAM wParam, LPARAM lParam);
    LRESULT OnUnlock(WPARAM wParam, LPARAM lParam);

private:
    Handlers handlers_;

    DECLARE_MESSAGE_MAP()
};

}  // namespace gc6890
