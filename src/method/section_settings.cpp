#include "method/section_settings.h"

#include "comms/hp6890_serial_comms.h"

namespace gc6890 {

namespace {

constexpr int kRunTableEntries = 25;
constexpr int kContactClosureEvent = 7;
// The end item's time as the GC reports it, compared in single precision.
constexpr float kEndItemTime = 0.02f;

}  // namespace

int ColumnInletCode(int methodInlet)
{
    switch (methodInlet) {
    case 1:
        return 0;
    case 2:
        return 1;
    case 5:
        return 5;
    default:
        return -1;
    }
}

ColumnPneumaticMode ColumnPneumaticModeOf(int methodControlMode)
{
    switch (methodControlMode) {
    case 1:
        return {2, 0};
    case 2:
        return {1, 0};
    case 3:
        return {3, 1};
    default:  // 4 and anything else
        return {0, 1};
    }
}

int OvenCryoCode(int cryoOn, int cryoType)
{
    if (cryoOn == 0)
        return 0;
    return cryoType == 0 ? 1 : 2;
}

CString OvenStateText(int state)
{
    // The GC's heater-fault state has no value this library knows, so a heater fault shows
    // in the "??%d??" form with the GC's number rather than a guessed "INVALID HEATER".
    switch (state) {
    case 0:
        return "NOT PRESENT";
    case 1:
        return "MISSING SENSOR";
    default: {
        CString text;
        text.Format("??%d??", state);
        return text;
    }
    }
}

ContactClosureItems ScanRunTable(const CIntFloatArray& table)
{
    ContactClosureItems found;
    for (int entry = 0; entry < kRunTableEntries; ++entry) {
        const float time = table.GetFloat(3 * entry);
        const int type = table.GetInt(3 * entry + 1);
        const int value = table.GetInt(3 * entry + 2);
        if (type == 0)
            break;
        if (type == kContactClosureEvent && time == 0.0f && value == 1)
            found.start = true;
        if (type == kContactClosureEvent && time == kEndItemTime && value == 0)
            found.end = true;
        if (found.start && found.end)
            break;
    }
    return found;
}

}  // namespace gc6890
