// The GC's status replies turned into the display texts of the status record: the groups
// of status-word bits with their texts, and the run-state names.
#pragma once

#include <cstdint>

#include "gc/gc_queries.h"
#include "platform/platform.h"

namespace gc6890 {

// Bits of one status word that together mean one condition.
struct StatusWordGroup {
    std::uint32_t GCStatusWords::*word;
    std::uint32_t mask;  // the group's bits
    const char* text;
};

// Why the GC is not ready, in display order.
extern const StatusWordGroup kNotReadyGroups[4];
// Shutdowns and scram, in display order.
extern const StatusWordGroup kErrorGroups[5];
// The non-fatal error codes; %s is the text so far, %d the code.
struct NonFatalErrorWord {
    std::int32_t GCStatusWords::*word;
    const char* format;
};
extern const NonFatalErrorWord kNonFatalErrorWords[3];

// "RUN IDLE", "PRE RUN", "RUN ACTIVE", "POST RUN", or "GC APP FATAL" for any other state.
const char* GCRunStateName(int state);

// "NOT READY: " and the set not-ready groups, joined by ", ".
CString GCNotReadyText(const GCStatusWords& words);
// "ERROR: " and the set shutdown groups, then the non-fatal codes, joined by ", ".
CString GCErrorText(const GCStatusWords& words);
// "Run currently in state ..." with its flags and times.
CString GCRunStatusText(const GCRunState& runState);

}  // namespace gc6890
