#include "service/sila/discovery_record.h"

#include <sstream>

#include "service/safe_text.h"

namespace gc6890::sila {

namespace {

// `key=value` as valid UTF-8, cut to the entry limit before a character that would not
// fit whole (a cut inside one would leave bytes no client can decode).
std::string entry(const std::string& key, const std::string& value)
{
    std::string text = key + "=" + validUtf8(value);
    if (text.size() <= kMaxTxtEntryBytes)
        return text;
    std::size_t end = kMaxTxtEntryBytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xc0) == 0x80)
        --end;
    text.resize(end);
    return text;
}

}  // namespace

std::vector<std::string> discoveryTxt(const DiscoveryFacts& facts)
{
    std::vector<std::string> txt = {entry("version", kDiscoverySilaVersion),
                                    entry("server_name", facts.serverName),
                                    entry("description", facts.description)};
    // One PEM line per entry; line ends (\n or \r\n) and blank lines are no part of it.
    std::istringstream pem(facts.caPem);
    std::string line;
    int index = 0;
    while (std::getline(pem, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            txt.push_back(entry("ca" + std::to_string(index++), line));
    }
    return txt;
}

}  // namespace gc6890::sila
