#include "sim/line_format.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace gc6890::sim {

std::vector<std::string> Line::args() const
{
    if (!hasArgs)
        return {};
    return split(argText, ',');
}

std::string Line::arg(std::size_t index) const
{
    const auto all = args();
    return index < all.size() ? all[index] : std::string();
}

Line parseLine(std::string_view text)
{
    if (!text.empty() && text.back() == '\r')
        text.remove_suffix(1);
    Line line;
    const auto blank = text.find(' ');
    line.head = std::string(text.substr(0, blank));
    if (blank != std::string_view::npos) {
        line.hasArgs = true;
        line.argText = std::string(text.substr(blank + 1));
    }
    line.receiver = line.head.substr(0, std::min<std::size_t>(2, line.head.size()));
    if (line.head.size() > 2)
        line.sender = line.head.substr(2, 2);
    if (line.head.size() > 4)
        line.operation = line.head.substr(4);
    return line;
}

std::string replyHead(const Line& line)
{
    return line.sender + line.receiver + line.operation;
}

std::vector<std::string> split(std::string_view text, char separator)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const auto at = text.find(separator, start);
        parts.emplace_back(text.substr(start, at - start));
        if (at == std::string_view::npos)
            break;
        start = at + 1;
    }
    return parts;
}

std::string join(const std::vector<std::string>& parts, char separator)
{
    std::string text;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0)
            text += separator;
        text += parts[i];
    }
    return text;
}

std::string formatFixed(double value, int decimals)
{
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    return std::string(buffer, result.ptr);
}

bool parseNumber(std::string_view text, double& value)
{
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    if (text.empty())
        return false;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() && result.ptr != text.data();
}

double numberOr(std::string_view text, double fallback)
{
    double value = 0.0;
    return parseNumber(text, value) ? value : fallback;
}

int intOr(std::string_view text, int fallback)
{
    double value = 0.0;
    if (!parseNumber(text, value) || !std::isfinite(value) || std::fabs(value) > 2.0e9)
        return fallback;
    return static_cast<int>(value);
}

std::string escape(std::string_view text)
{
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (byte < 0x20 || byte >= 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", byte);
            out += hex;
        } else
            out += c;
    }
    return out;
}

}  // namespace gc6890::sim
