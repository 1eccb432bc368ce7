// Command lines into CCommandString and back: no crash, no leak, and for a line with a
// well-formed head (two addresses of the table, two letters) formatting is stable: the
// formatted line parses into a command that formats to the same line. Heads outside the
// table do not survive the trip by design (an unknown address has no text), and a float
// that is not finite is the one other exception: a value too large for a float formats as
// "inf" or "-inf", and "-nan" and "-inf" read back as integers.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "command/command_string.h"
#include "table_addresses.h"

namespace {

bool wellFormedHead(const CString& line)
{
    const auto letter = [](char c) { return c >= 'A' && c <= 'Z'; };
    return line.GetLength() >= 6 && fuzzsupport::isTableAddress(line.c_str()) &&
           fuzzsupport::isTableAddress(line.c_str() + 2) && letter(line[4]) && letter(line[5]);
}

}  // namespace

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
    if (wellFormedHead(line) && formatted.Find("nan") < 0 && formatted.Find("inf") < 0 &&
        formatted.GetLength() ==
            static_cast<int>(std::char_traits<char>::length(formatted.c_str()))) {
        const CCommandString again(formatted);
        if (again.GetString() != formatted)
            std::abort();
    }
    return 0;
}
