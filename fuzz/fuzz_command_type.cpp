// Command heads: any text makes a head without crashing, and a head made of two addresses
// from the address table and a two-letter operation gives back the same six characters.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "command/command_type.h"
#include "table_addresses.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const CString text(reinterpret_cast<const char*>(data), static_cast<int>(size));
    const CCommandType head(text);
    const CString back = head.GetString();
    (void)head.Command();
    (void)CCommandType(back);  // a head made from a head's text
    if (size == 6 && fuzzsupport::isTableAddress(text.c_str()) &&
        fuzzsupport::isTableAddress(text.c_str() + 2) && std::isupper(data[4]) &&
        std::isupper(data[5])) {
        if (back != text || !(CCommandType(back) == head))
            std::abort();
    }
    return 0;
}
