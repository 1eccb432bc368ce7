// What the status read keeps between polls for all GC objects alike: the last status it
// computed (answered from while another operation holds the channel) and the data block
// for the registered outside program.
#pragma once

#include <cstdint>

#include "interface/inlet_system_status.h"

namespace gc6890 {

// The registration window's data block, field by field (nine 32-bit words).
struct GCRemoteData {
    float ovenTemperature = 0.0f;
    float column1Pressure = 0.0f;
    float column2Pressure = 0.0f;
    float column1Flow = 0.0f;
    float column2Flow = 0.0f;
    std::int32_t preRun = 0;
    std::int32_t ready = 0;
    std::int32_t running = 0;
    std::int32_t error = 1;  // in error until a poll has read the GC
};
static_assert(sizeof(GCRemoteData) == 36, "the outside program reads nine 32-bit words");

struct GCSharedStatus {
    CInletSystemStatus lastStatus;
    GCRemoteData remoteData;
};

// Constructed on the first poll, kept for the life of the process.
GCSharedStatus& SharedGCStatus();
// Starts over as if no poll had run yet (for tests).
void ForgetSharedGCStatus();

}  // namespace gc6890
