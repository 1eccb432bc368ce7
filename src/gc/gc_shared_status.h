// What the status read keeps between polls for all GC objects alike: the last status it
// computed (answered from while another operation holds the channel), the run state the
// GC last gave, and the data block for the registered outside program.
#pragma once

#include "comms/reg_remote_window.h"
#include "gc/gc_queries.h"
#include "interface/inlet_system_status.h"

namespace gc6890 {

struct GCSharedStatus {
    CInletSystemStatus lastStatus;
    GCRunState runState;
    GCRemoteData remoteData;
};

// Constructed on the first poll, kept for the life of the process.
GCSharedStatus& SharedGCStatus();
// Starts over as if no poll had run yet (for tests).
void ForgetSharedGCStatus();

}  // namespace gc6890
