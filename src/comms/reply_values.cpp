#include "comms/reply_values.h"

#include <cstdlib>
#include <string_view>

#include "platform/platform.h"

namespace gc6890 {

namespace {

// One value: where it starts and how long it is, whether it holds a point, and, when it is
// a plain decimal of up to nine digits with an optional sign, its value read on the way.
struct Token {
    const char* text;
    std::size_t length;
    bool hasPoint;
    bool plain;
    int value;
};

// Reads the token at `at` (up to the next comma or `end`) in one pass.
Token scanToken(const char* at, const char* end)
{
    Token token{at, 0, false, true, 0};
    const char* p = at;
    const bool negative = p < end && *p == '-';
    if (p < end && (*p == '-' || *p == '+'))
        ++p;
    int digits = 0;
    for (; p < end && *p != ','; ++p) {
        const char c = *p;
        if (c >= '0' && c <= '9') {
            if (++digits <= 9)  // nine digits always fit an int
                token.value = token.value * 10 + (c - '0');
        } else {
            token.plain = false;
            token.hasPoint |= c == '.';
        }
    }
    token.length = static_cast<std::size_t>(p - at);
    token.plain = token.plain && digits >= 1 && digits <= 9;
    if (negative)
        token.value = -token.value;
    return token;
}

}  // namespace

int parseReplyValues(const std::string& reply, CIntFloatArray& values)
{
    const std::size_t blank = reply.find(' ');
    if (blank == std::string::npos || blank < 6)
        return 0;
    // The values: the text after the blank, with an implied trailing comma.
    const char* at = reply.c_str() + blank + 1;
    const char* const end = reply.c_str() + reply.size();
    for (int i = 0; i < values.GetSize(); ++i) {
        if (at >= end || *at == ',')
            return 0;
        const Token token = scanToken(at, end);
        // The token ends at a comma or at the reply's end (a NUL), and neither can be part
        // of a number, so parsing in place reads what a copy of the token would.
        if (token.hasPoint)
            values.SetFloat(i, static_cast<float>(parseDouble(token.text)));
        else
            values.SetInt(i, token.plain ? token.value : std::atoi(token.text));
        at += token.length;
        if (at < end)
            ++at;  // the comma
    }
    return 1;
}

}  // namespace gc6890
