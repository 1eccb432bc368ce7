#include "gc/gc_status_text.h"

#include <cstddef>

#include "comms/hp6890_serial_comms.h"

namespace gc6890 {

const StatusWordGroup kNotReadyGroups[4] = {
    {0, 0xFC000000u, "Thermal zones not ready"},                                      // bits 26-31
    {0, 0x03C00000u, "Inlet pressure/flow not ready"},                                // bits 22-25
    {0, 0x003FFC00u, "Front/Back detector gas is either off or has not ready flow"},  // bits 10-21
    {0, 0x00000380u, "Auxilliary pressure not ready"},                                // bits 7-9
};

const StatusWordGroup kErrorGroups[5] = {
    {8, 0xC0000000u, "Scram active"},                   // bits 30-31
    {8, 0x3C000000u, "Inlet pressure/flow shutdown"},   // bits 26-29
    {8, 0x03F00000u, "Detector gas shutdown"},          // bits 20-25
    {8, 0x000E0000u, "Auxilliary pneumatic shutdown"},  // bits 17-19
    {8, 0x00018000u, "Scram active"},                   // bits 15-16: the second scram group
};

const NonFatalErrorWord kNonFatalErrorWords[3] = {
    {10, "%sNon fatal error section1 %d"},
    {11, "%sNon fatal error section2 %d"},
    {12, "%sNon fatal error section3 %d"},
};

namespace {

bool isSet(const StatusWordGroup& group, const CIntFloatArray& words)
{
    return (static_cast<std::uint32_t>(words.GetInt(group.slot)) & group.mask) != 0;
}

// Appends item to a list that began with its heading; first tells whether it is the
// first item.
void appendItem(CString& text, bool& first, const char* item)
{
    if (!first)
        text += ", ";
    text += item;
    first = false;
}

}  // namespace

const char* GCRunStateName(int state)
{
    switch (state) {
    case 0:
        return "RUN IDLE";
    case 1:
        return "PRE RUN";
    case 2:
        return "RUN ACTIVE";
    case 3:
        return "POST RUN";
    default:
        return "GC APP FATAL";
    }
}

bool GCInError(const CIntFloatArray& words)
{
    for (int slot : {8, 10, 11, 12})
        if (words.GetInt(slot) != 0)
            return true;
    return false;
}

namespace {

// The prefix and the texts of the groups whose bits are set, comma-separated.
template <std::size_t N>
CString groupsText(const char* prefix, const StatusWordGroup (&groups)[N],
                   const CIntFloatArray& words, bool& first)
{
    CString text = prefix;
    first = true;
    for (const StatusWordGroup& group : groups)
        if (isSet(group, words))
            appendItem(text, first, group.text);
    return text;
}

}  // namespace

CString GCNotReadyText(const CIntFloatArray& words)
{
    bool first;
    return groupsText("NOT READY: ", kNotReadyGroups, words, first);
}

CString GCErrorText(const CIntFloatArray& words)
{
    bool first;
    CString text = groupsText("ERROR: ", kErrorGroups, words, first);
    for (const NonFatalErrorWord& word : kNonFatalErrorWords) {
        const int code = words.GetInt(word.slot);
        if (code == 0)
            continue;
        const CString soFar = first ? text : text + ", ";
        text.Format(word.format, soFar.c_str(), code);
        first = false;
    }
    return text;
}

CString GCRunStatusText(const CIntFloatArray& runState)
{
    CString text = CString("Run currently in state ") + GCRunStateName(runState.GetInt(0));
    if (runState.GetInt(1) != 0)
        text += " (with blank run)";
    if (runState.GetInt(2) != 0)
        text += " (aquiring column compensation data)";
    text += runState.GetInt(3) != 0 ? " (GC Running Sequence)" : " (GC Not Running Sequence)";
    CString times;
    times.Format(". Run Time remaining = %.3f. PostRun Time remaining = %.3f.",
                 static_cast<double>(runState.GetFloat(4)),
                 static_cast<double>(runState.GetFloat(5)));
    return text + times;
}

}  // namespace gc6890
