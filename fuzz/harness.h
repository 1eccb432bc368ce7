// What the harnesses share: a property that fails ends the run as a crash does, and an
// input read as a broker's messages.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace gc6890::fuzz {

// libFuzzer keeps the input that broke a property as it keeps one that crashed.
inline void check(bool ok)
{
    if (!ok)
        std::abort();
}

// One message: a flags byte (what each bit means is the harness's), the topic up to the
// first line feed, then the payload.
struct Message {
    std::uint8_t flags = 0;
    std::string_view topic;
    std::string_view payload;
};

// Calls `each` with every message of `input`, the messages separated by the byte 0x1E;
// empty ones are passed over.
template <typename Each>
void forEachMessage(std::string_view input, Each each)
{
    for (std::size_t start = 0; start < input.size();) {
        std::size_t end = input.find('\x1E', start);
        if (end == std::string_view::npos)
            end = input.size();
        const std::string_view message = input.substr(start, end - start);
        start = end + 1;
        if (message.empty())
            continue;
        const std::size_t newline = message.find('\n');
        each(Message{static_cast<std::uint8_t>(message[0]),
                     message.substr(1, newline == std::string_view::npos ? std::string_view::npos
                                                                         : newline - 1),
                     newline == std::string_view::npos ? std::string_view()
                                                       : message.substr(newline + 1)});
    }
}

}  // namespace gc6890::fuzz
