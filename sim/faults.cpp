#include "sim/faults.h"

#include <algorithm>

namespace gc6890::sim {

bool faultApplies(const std::set<std::string>& heads, const std::string& commandHead)
{
    return heads.count(commandHead) != 0 || heads.count("*") != 0;
}

std::vector<std::string> applyReplyFaults(const Faults& faults, const std::string& commandHead,
                                          const std::string& answer)
{
    if (faultApplies(faults.noReply, commandHead))
        return {};
    std::vector<std::string> lines;
    if (faultApplies(faults.unsolicited, commandHead))
        lines.insert(lines.end(), static_cast<std::size_t>(std::max(faults.unsolicitedCount, 0)),
                     faults.unsolicitedLine);
    std::string reply = answer;
    if (faultApplies(faults.endless, commandHead))
        reply = answer.substr(0, answer.find(' ')) + ' ' + std::string(faults.endlessBytes, 'x');
    if (faultApplies(faults.wrongHead, commandHead))
        reply = withWrongHead(reply);
    if (faultApplies(faults.otherAddress, commandHead))
        reply = withOtherAddress(reply);
    if (faultApplies(faults.truncated, commandHead))
        reply = truncateLine(reply);
    if (faultApplies(faults.garbled, commandHead))
        reply = garble(reply);
    lines.push_back(reply);
    return lines;
}

// Every printable character but the blank is rotated within the printable range, so
// the head no longer matches and the numbers no longer read; the line stays one line.
std::string garble(std::string_view line)
{
    std::string out(line);
    for (char& c : out)
        if (c > ' ' && c < 0x7f)
            c = static_cast<char>('!' + (c - '!' + 47) % 94);
    return out;
}

std::string truncateLine(std::string_view line)
{
    return std::string(line.substr(0, line.size() / 2));
}

// The reply head keeps its addresses, the operation becomes "XX".
std::string withWrongHead(std::string_view line)
{
    const auto blank = line.find(' ');
    const std::size_t headEnd = blank == std::string_view::npos ? line.size() : blank;
    if (headEnd < 4)
        return "XX" + std::string(line);
    return std::string(line.substr(0, 4)) + "XX" + std::string(line.substr(headEnd));
}

// The reply head's sender ("HT01STATUS": 01) becomes another address: 02, or 03 for 02.
std::string withOtherAddress(std::string_view line)
{
    std::string out(line);
    if (out.size() >= 4)
        out.replace(2, 2, out.compare(2, 2, "02") == 0 ? "03" : "02");
    return out;
}

bool parseBusyPort(std::string_view text, BusyPort& mode)
{
    if (text == "no")
        mode = BusyPort::No;
    else if (text == "once")
        mode = BusyPort::UntilClosed;
    else if (text == "always")
        mode = BusyPort::Always;
    else
        return false;
    return true;
}

}  // namespace gc6890::sim
