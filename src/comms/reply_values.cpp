#include "comms/reply_values.h"

#include <cstdlib>
#include <string_view>

#include "platform/platform.h"

namespace gc6890 {

namespace {

// atoi of the token at text[0, length), which the reply's NUL or a comma ends. Plain
// decimal tokens of up to nine digits, nearly every value an instrument sends, are read
// here; anything else (blanks, long numbers) goes to atoi itself, so the rules stay atoi's.
int tokenToInt(const char* text, std::size_t length)
{
    std::size_t i = 0;
    bool negative = false;
    if (length > 0 && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        i = 1;
    }
    const std::size_t digits = length - i;
    if (digits == 0 || digits > 9)
        return std::atoi(text);
    int value = 0;
    for (; i < length; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return std::atoi(text);
        value = value * 10 + (c - '0');
    }
    return negative ? -value : value;
}

}  // namespace

int parseReplyValues(const std::string& reply, CIntFloatArray& values)
{
    const std::size_t blank = reply.find(' ');
    if (blank == std::string::npos || blank < 6)
        return 0;
    // The values as a view: the text after the blank, with an implied trailing comma.
    const char* const base = reply.c_str();
    std::string_view rest(base + blank + 1, reply.size() - blank - 1);
    for (int i = 0; i < values.GetSize(); ++i) {
        if (rest.empty() || rest.front() == ',')
            return 0;
        const std::size_t comma = rest.find(',');
        const std::size_t length = comma == std::string_view::npos ? rest.size() : comma;
        const std::string_view token = rest.substr(0, length);
        // The token ends at a comma or at the reply's end (a NUL), and neither can be part
        // of a number, so parsing in place reads what a copy of the token would.
        if (token.find('.') != std::string_view::npos)
            values.SetFloat(i, static_cast<float>(parseDouble(token.data())));
        else
            values.SetInt(i, tokenToInt(token.data(), length));
        rest.remove_prefix(comma == std::string_view::npos ? rest.size() : comma + 1);
    }
    return 1;
}

}  // namespace gc6890
