// The GC's status replies turned into the display texts of the status record: the groups
// of status-word bits with their texts, and the run-state names.
#pragma once

#include <cstdint>

#include "platform/platform.h"

class CIntFloatArray;

namespace gc6890 {

// Bits of one status word that together mean one condition.
struct StatusWordGroup {
    int slot;            // which word of the "GCHTST" reply
    std::uint32_t mask;  // the group's bits
    const char* text;
};

// Word 0: why the GC is not ready, in display order.
extern const StatusWordGroup kNotReadyGroups[4];
// Word 8: shutdowns and scram, in display order.
extern const StatusWordGroup kErrorGroups[5];
// Words 10 to 12: non-fatal error codes; %s is the text so far, %d the code.
struct NonFatalErrorWord {
    int slot;
    const char* format;
};
extern const NonFatalErrorWord kNonFatalErrorWords[3];

// "RUN IDLE", "PRE RUN", "RUN ACTIVE", "POST RUN", or "GC APP FATAL" for any other state.
const char* GCRunStateName(int state);

// True when word 8, 10, 11 or 12 of the status words is non-zero.
bool GCInError(const CIntFloatArray& words);
// "NOT READY: " and the set groups of word 0, joined by ", ".
CString GCNotReadyText(const CIntFloatArray& words);
// "ERROR: " and the set groups of word 8, then the non-fatal codes, joined by ", ".
CString GCErrorText(const CIntFloatArray& words);
// "Run currently in state ..." from the run-state reply (nine slots).
CString GCRunStatusText(const CIntFloatArray& runState);

}  // namespace gc6890
