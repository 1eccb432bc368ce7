// Command heads: any text makes a head without crashing, and a head made of two addresses
// from the address table and a two-letter operation gives back the same six characters.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "command/command_type.h"

namespace {

bool isTableAddress(const char* pair)
{
    static const char* const kAddresses[] = {"HT", "MV", "VX", "V8", "V7", "V6", "V5", "V4", "V3", "V2",
                                             "V1", "SS", "S2", "S1", "OV", "IB", "IF", "GC", "DB", "DF",
                                             "C2", "C1", "CC", "AX", "A5", "A4", "A3", "A2", "A1"};
    for (const char* address : kAddresses)
        if (std::strncmp(pair, address, 2) == 0)
            return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const CString text(reinterpret_cast<const char*>(data), static_cast<int>(size));
    const CCommandType head(text);
    const CString back = head.GetString();
    (void)head.Command();
    (void)CCommandType(back);  // a head made from a head's text
    if (size == 6 && isTableAddress(text.c_str()) && isTableAddress(text.c_str() + 2) &&
        std::isupper(data[4]) && std::isupper(data[5])) {
        if (back != text || !(CCommandType(back) == head))
            std::abort();
    }
    return 0;
}
