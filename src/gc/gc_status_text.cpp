#include "gc/gc_status_text.h"

#include <cstddef>

namespace gc6890 {

const StatusWordGroup kNotReadyGroups[4] = {
    {&GCStatusWords::notReady, 0xFC000000u, "Thermal zones not ready"},        // bits 26-31
    {&GCStatusWords::notReady, 0x03C00000u, "Inlet pressure/flow not ready"},  // bits 22-25
    {&GCStatusWords::notReady, 0x003FFC00u,
     "Front/Back detector gas is either off or has not ready flow"},           // bits 10-21
    {&GCStatusWords::notReady, 0x00000380u, "Auxilliary pressure not ready"},  // bits 7-9
};

const StatusWordGroup kErrorGroups[5] = {
    {&GCStatusWords::shutdown, 0xC0000000u, "Scram active"},                   // bits 30-31
    {&GCStatusWords::shutdown, 0x3C000000u, "Inlet pressure/flow shutdown"},   // bits 26-29
    {&GCStatusWords::shutdown, 0x03F00000u, "Detector gas shutdown"},          // bits 20-25
    {&GCStatusWords::shutdown, 0x000E0000u, "Auxilliary pneumatic shutdown"},  // bits 17-19
    {&GCStatusWords::shutdown, 0x00018000u, "Scram active"},  // bits 15-16: the second scram group
};

const NonFatalErrorWord kNonFatalErrorWords[3] = {
    {&GCStatusWords::nonFatal1, "%sNon fatal error section1 %d"},
    {&GCStatusWords::nonFatal2, "%sNon fatal error section2 %d"},
    {&GCStatusWords::nonFatal3, "%sNon fatal error section3 %d"},
};

namespace {

bool isSet(const StatusWordGroup& group, const GCStatusWords& words)
{
    return (words.*group.word & group.mask) != 0;
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

namespace {

// The prefix and the texts of the groups whose bits are set, comma-separated.
template <std::size_t N>
CString groupsText(const char* prefix, const StatusWordGroup (&groups)[N],
                   const GCStatusWords& words, bool& first)
{
    CString text = prefix;
    first = true;
    for (const StatusWordGroup& group : groups)
        if (isSet(group, words))
            appendItem(text, first, group.text);
    return text;
}

}  // namespace

CString GCNotReadyText(const GCStatusWords& words)
{
    bool first;
    return groupsText("NOT READY: ", kNotReadyGroups, words, first);
}

CString GCErrorText(const GCStatusWords& words)
{
    bool first;
    CString text = groupsText("ERROR: ", kErrorGroups, words, first);
    for (const NonFatalErrorWord& word : kNonFatalErrorWords) {
        const int code = words.*word.word;
        if (code == 0)
            continue;
        const CString soFar = first ? text : text + ", ";
        text.Format(word.format, soFar.c_str(), code);
        first = false;
    }
    return text;
}

CString GCRunStatusText(const GCRunState& runState)
{
    CString text = CString("Run currently in state ") + GCRunStateName(runState.state);
    if (runState.blankRun)
        text += " (with blank run)";
    if (runState.compensationData)
        text += " (aquiring column compensation data)";
    text += runState.runningSequence ? " (GC Running Sequence)" : " (GC Not Running Sequence)";
    CString times;
    times.Format(". Run Time remaining = %.3f. PostRun Time remaining = %.3f.",
                 static_cast<double>(runState.runTimeRemaining),
                 static_cast<double>(runState.postRunTimeRemaining));
    return text + times;
}

}  // namespace gc6890
