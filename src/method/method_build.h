// Building the method a download sends: the GC's own method (read back as a list of
// commands) merged with the stored method, section by section, into a new method block.
// Configuration the GC owns is handed back as the GC reported it; what the stored method
// governs is rebuilt. A few configuration changes go to the GC at once, as immediate
// commands, while the block is built; nothing of them is rolled back on a later failure.
#pragma once

#include <optional>

#include "command/command_lists.h"
#include "external/method_library.h"
#include "interface/inlet_select.h"
#include "method/method_command.h"
#include "platform/platform.h"

class CHP6890SerialComms;

namespace gc6890 {

// Why a build stopped: the text for the comms log and the method error box, and whether
// the GC's display is cleared first (it is for every failure but a missing auxiliary
// definition).
struct DownloadFailure {
    CString text;
    bool clearDisplay = true;
};

struct MethodBuildContext {
    const CCommandStringList& gcList;  // the GC's current method
    const CHP6890Method& method;       // the stored method
    CMethodCommand& newMethod;
    CHP6890SerialComms& channel;    // immediate commands, the run table, the log
    HWND owner;                     // the GC object's window, owner of the warning box
    CPressure& frontInletPressure;  // kept by the GC object between downloads
    CPressure& backInletPressure;
};

// Builds the whole new method into context.newMethod; nothing when it succeeded.
std::optional<DownloadFailure> BuildNewMethod(MethodBuildContext& context);

}  // namespace gc6890
