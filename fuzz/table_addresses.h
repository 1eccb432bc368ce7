// The addresses of the command table, written out apart from the library so that the
// harnesses check the library against an independent list.
#pragma once

#include <cstring>

namespace fuzzsupport {

inline bool isTableAddress(const char* pair)
{
    static const char* const kAddresses[] = {
        "HT", "MV", "VX", "V8", "V7", "V6", "V5", "V4", "V3", "V2", "V1", "SS", "S2", "S1", "OV",
        "IB", "IF", "GC", "DB", "DF", "C2", "C1", "CC", "AX", "A5", "A4", "A3", "A2", "A1"};
    for (const char* address : kAddresses)
        if (std::strncmp(pair, address, 2) == 0)
            return true;
    return false;
}

}  // namespace fuzzsupport
