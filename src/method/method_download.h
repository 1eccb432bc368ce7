// The GC method download's whole sequence: lock-out, the stored method, the GC's display
// and run state, the read-back with retries, the new method, the line-by-line send, the
// check and the installation, with every failure exit.
//
// The GC object runs it for LoadMethod. Only what differs between the object and a test
// goes through the host interface below; everything else the sequence does itself, on the
// channel and the state it is handed.
#pragma once

#include "command/command_lists.h"
#include "external/method_library.h"
#include "method/method_build.h"
#include "platform/platform.h"

class CHP6890SerialComms;

namespace gc6890 {

class MethodDownloadHost {
public:
    virtual ~MethodDownloadHost() = default;

    // The GC's display cleared and the host's idle prompt restored.
    virtual void ClearDisplay() = 0;
    // The contact-closure output put back in its initial state.
    virtual void InitialiseContactClosure() = 0;
    // The registered outside program told that comms resets are held off, and released.
    virtual void LockReset() = 0;
    virtual void UnLockReset() = 0;
    // The GC's auto-prep-run state as the download learned it (0 or 1).
    virtual void SetAutoPrepRun(int state) = 0;
    // After each method line the GC has echoed: lines sent so far, lines in all.
    virtual void ReportProgress(int sent, int total) = 0;
};

// The GC object's state a download works on.
struct MethodDownloadState {
    CHP6890SerialComms& channel;
    HWND owner;                     // owner of the both-columns warning box
    CPressure& frontInletPressure;  // kept between downloads
    CPressure& backInletPressure;
};

// 1 when the GC installed the new method and the lock-out was released; 0 on any failure,
// after the failure's box and log line, with the lock-out free and the outside program
// told. A lock-out held elsewhere gives 0 at once with nothing sent or shown.
int RunMethodDownload(MethodDownloadHost& host, const MethodDownloadState& gc, const CString& name);

}  // namespace gc6890
