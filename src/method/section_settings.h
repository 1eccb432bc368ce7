// The code tables of the download's column, oven and event sections, and the scan of the
// GC's run table for the contact-closure items that start and end a run's signal.
#pragma once

#include "platform/platform.h"

class CIntFloatArray;

namespace gc6890 {

// The GC's code for the inlet a column is on (argument 3 of "C1C1CW"/"C2C2CW"): 0 front,
// 1 back, 5 none, -1 for anything else.
int ColumnInletCode(int methodInlet);

// A column control mode as the GC's pneumatics command takes it: the mode code (argument 2
// of "C1C1NR"/"C2C2NR") and the flag that tells flows (1) from pressures (0).
struct ColumnPneumaticMode {
    int code;
    int flowFlag;
};
ColumnPneumaticMode ColumnPneumaticModeOf(int methodControlMode);

// Argument 2 of "OVOVCW": 0 without cryo, 1 for cryo type 0, 2 for any other type.
int OvenCryoCode(int cryoOn, int cryoType);

// The oven state the GC must report (argument 1 of "OVOVCW") for a method to be downloaded.
constexpr int kOvenUsable = 3;
// The text of an oven state other than the usable one: "NOT PRESENT" (0), "MISSING SENSOR"
// (1), else "??%d??" with the value.
CString OvenStateText(int state);

// What the GC's run table (75 slots: 25 entries of time, event type, value) holds of the
// contact closure: the start item (0.00 min, type 7, value 1) and the end item (0.02 min,
// type 7, value 0). The table ends at the first entry of type 0.
struct ContactClosureItems {
    bool start = false;
    bool end = false;
};
ContactClosureItems ScanRunTable(const CIntFloatArray& table);

}  // namespace gc6890
