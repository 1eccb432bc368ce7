#include "comms/reply_values.h"

#include <charconv>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

namespace gc6890 {

namespace {

bool isDigit(char c)
{
    return static_cast<unsigned char>(c - '0') < 10;
}

// atoi's result for a sign and the magnitude of the digits after it: strtol's long,
// saturated at the long's range, narrowed to int.
int narrowAsAtoi(bool negative, std::uint64_t magnitude, bool overflow)
{
    long value;
    if (negative)
        value = overflow || magnitude > static_cast<std::uint64_t>(LONG_MAX) + 1
                    ? LONG_MIN
                    : static_cast<long>(0 - magnitude);
    else
        value = overflow || magnitude > static_cast<std::uint64_t>(LONG_MAX)
                    ? LONG_MAX
                    : static_cast<long>(magnitude);
    return static_cast<int>(value);
}

// atoi's reading of a value that begins with a digit or a sign, however many digits follow.
int readLongInteger(const char* at)
{
    const char* p = at + (*at == '-' || *at == '+');
    std::uint64_t magnitude = 0;
    bool overflow = false;
    for (; isDigit(*p); ++p)
        overflow |= __builtin_mul_overflow(magnitude, 10u, &magnitude) ||
                    __builtin_add_overflow(magnitude, static_cast<unsigned>(*p - '0'), &magnitude);
    return narrowAsAtoi(*at == '-', magnitude, overflow);
}

// atof's reading of [at, stop), which holds a point, when it is no short decimal: a plain
// decimal goes to std::from_chars, which rounds as strtod does and does not depend on the
// locale; what from_chars does not read to the end (a blank or a sign first, hexadecimal,
// "inf", trailing text, out of range) goes to strtod itself.
float readFloat(const char* at, const char* stop)
{
    const char* p = at + (*at == '+');  // from_chars reads no plus sign
    const char* first = p + (p == at && *p == '-');
    if (first < stop && (isDigit(*first) || *first == '.')) {
        double value = 0;
        const auto [end, error] = std::from_chars(p, stop, value);
        if (error == std::errc() && end == stop)
            return static_cast<float>(value);
    }
    return static_cast<float>(parseDouble(at));
}

// Exactly representable powers of ten.
constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

}  // namespace

int parseReplyValues(const std::string& reply, CIntFloatArray& values)
{
    const std::size_t blank = reply.find(' ');
    if (blank == std::string::npos || blank < 6)
        return 0;
    // The values: the text after the blank, with an implied trailing comma. The text ends
    // in a NUL, which no digit scan passes.
    const char* at = reply.c_str() + blank + 1;
    const char* const end = reply.c_str() + reply.size();
    for (int i = 0; i < values.GetSize(); ++i) {
        if (at >= end || *at == ',')
            return 0;
        // One pass over a plain value: a sign, digits, perhaps a point and more digits.
        const char* p = at;
        const bool negative = *p == '-';
        p += *p == '-' || *p == '+';
        std::uint64_t digits = 0;  // wraps past 19 digits: such values take the long way
        int count = 0, decimals = 0;
        for (; isDigit(*p); ++p, ++count)
            digits = digits * 10 + static_cast<unsigned>(*p - '0');
        const bool point = *p == '.';
        if (point)
            for (++p; isDigit(*p); ++p, ++count, ++decimals)
                digits = digits * 10 + static_cast<unsigned>(*p - '0');
        if (p == end || *p == ',') {
            if (!point && count <= 19) {
                values.SetInt(i, narrowAsAtoi(negative, digits, false));
                at = p + (p < end);
                continue;
            }
            // Up to 15 digits and 22 decimals, the digits and the power of ten are exact
            // in a double, so the one division rounds as strtod does.
            if (point && count >= 1 && count <= 15 && decimals <= 22) {
                const double value = static_cast<double>(digits) / kPowersOfTen[decimals];
                values.SetFloat(i, static_cast<float>(negative ? -value : value));
                at = p + (p < end);
                continue;
            }
        }
        // Anything else, read in place: the value ends at a comma or at the reply's end (a
        // NUL), and neither can be part of a number, so the C library reads what it would
        // read in a copy.
        const auto* comma = static_cast<const char*>(std::memchr(at, ',', end - at));
        const char* const stop = comma ? comma : end;
        if (std::memchr(at, '.', stop - at))
            values.SetFloat(i, readFloat(at, stop));
        else if (isDigit(*at) || *at == '-' || *at == '+')
            values.SetInt(i, readLongInteger(at));
        else
            values.SetInt(i, std::atoi(at));  // leading blanks, or no number at all
        at = stop + (stop < end);
    }
    return 1;
}

}  // namespace gc6890
