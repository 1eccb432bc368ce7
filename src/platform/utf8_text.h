// Counting text as people do: limits given in characters ("1 to 100 characters") count the
// characters of UTF-8 text, not its bytes; "µg/mL" is five.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string_view>

namespace gc6890 {

// The characters of valid UTF-8 text: every byte but the continuation bytes.
inline std::size_t utf8Characters(std::string_view text)
{
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xc0) != 0x80;
    }));
}

}  // namespace gc6890
