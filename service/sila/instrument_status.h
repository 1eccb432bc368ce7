// The instrument's status as the SiLA features read it. The one place that knows the
// snapshot's shape (its status object): when the features read its typed status
// instead, only instrumentStatusOf changes.
#pragma once

#include <string>

#include "service/snapshot.h"

namespace gc6890::sila {

struct InstrumentStatus {
    std::string runState = "Idle";   // Idle, PreRun, Run, PostRun
    std::string lineState = "Down";  // Up, Rebuilding, Down
    bool ready = false;
    std::string notReadyReason;
    std::string errorText;
    double elapsedMinutes = 0;   // of the run, instrument time
    double ovenTemperature = 0;  // °C
    double column1Pressure = 0;  // psi
    double column1Flow = 0;      // mL/min
    double column2Pressure = 0;
    double column2Flow = 0;
    std::string firmware;
    std::string hardware;
};

InstrumentStatus instrumentStatusOf(const Snapshot& snapshot);

}  // namespace gc6890::sila
