// The method read-back parser: any text the GC might send splits without crashing, the
// outcome and the number of commands agree with a plain reading of the same text on
// standard strings.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "method/method_readback.h"

namespace {

struct Reading {
    gc6890::ReadBackResult result = gc6890::ReadBackResult::Complete;
    int commands = 0;
};

// Line by line: the part strictly between the first and the last double quote, cut at
// semicolons until the remainder is too short to hold a command or a piece is empty.
Reading referenceRead(const std::string& text)
{
    Reading reading;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t feed = text.find('\n', start);
        const std::string line =
            text.substr(start, feed == std::string::npos ? std::string::npos : feed - start);
        start = feed == std::string::npos ? text.size() : feed + 1;
        const std::size_t first = line.find('"');
        if (first == std::string::npos) {
            reading.result = gc6890::ReadBackResult::NoQuote;
            return reading;
        }
        const std::size_t last = line.rfind('"');
        std::string rest = last > first ? line.substr(first + 1, last - first - 1) : std::string();
        if (rest.find('"') != std::string::npos) {
            reading.result = gc6890::ReadBackResult::QuoteInMiddle;
            return reading;
        }
        for (;;) {
            rest += ';';
            const std::size_t semicolon = rest.find(';');
            if (rest.size() < 7 || semicolon == 0)
                break;
            ++reading.commands;
            rest.erase(0, semicolon + 1);
        }
    }
    return reading;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    CCommandStringList list;
    const gc6890::ReadBackResult result =
        gc6890::SplitMethodText(CString(text.data(), static_cast<int>(size)), list);
    const Reading expected = referenceRead(text);
    if (result != expected.result || list.GetCount() != expected.commands)
        std::abort();
    return 0;
}
