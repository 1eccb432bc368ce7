// The instrument's side of the line format: a line is a head (receiver pair, sender pair,
// operation), one blank, then comma-separated arguments. A reply carries the head with the
// two pairs swapped. Sampler operations are longer than two letters ("01HTSINJECT 5"), so
// the head runs to the first blank. Numbers are read and written with "." whatever the
// locale.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace gc6890::sim {

struct Line {
    std::string head;       // text before the first blank ("CCHTID", "01HTSTATUS")
    std::string receiver;   // characters 1-2
    std::string sender;     // characters 3-4
    std::string operation;  // the rest of the head ("ID", "STATUS")
    std::string argText;    // everything after the blank
    bool hasArgs = false;   // a blank followed the head

    std::vector<std::string> args() const;     // argText split on commas
    std::string arg(std::size_t index) const;  // empty when absent
};

// Parses one line without its terminator (a trailing carriage return is dropped).
Line parseLine(std::string_view text);

// The head of the reply to `line`: sender, receiver, operation.
std::string replyHead(const Line& line);

std::vector<std::string> split(std::string_view text, char separator);
std::string join(const std::vector<std::string>& parts, char separator);

// Locale-proof number helpers.
std::string formatFixed(double value, int decimals);
bool parseNumber(std::string_view text, double& value);  // leading blanks allowed
double numberOr(std::string_view text, double fallback);
int intOr(std::string_view text, int fallback);  // integer part, like atoi on digits

// Control characters shown as \n, \r, \xNN, for traces and failure messages.
std::string escape(std::string_view text);

}  // namespace gc6890::sim
