// Command lines into CCommandString and back: no crash, no leak, and formatting is stable:
// a formatted line parses into a command that formats to the same line. (A "not a number"
// float is the one exception: "-nan" reads back as an integer, as the instrument would.)
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "command/command_string.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const CString line(reinterpret_cast<const char*>(data), static_cast<int>(size));
    const CCommandString command(line);
    for (int i = 0; i < command.GetArgumentCount(); ++i)
        if (command.GetArgumentType(i) == ARG_STRING && command[i].pString == nullptr)
            std::abort();
    const CString formatted = command.GetString();
    const CCommandString copy(command);  // copying deep-copies the texts
    if (copy.GetString() != formatted)
        std::abort();
    if (formatted.Find("nan") < 0 && formatted.Find('\0') < 0) {
        const CCommandString again(formatted);
        if (again.GetString() != formatted)
            std::abort();
    }
    return 0;
}
