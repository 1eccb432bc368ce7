// What the SiLA 2 server announces over mDNS/DNS-SD: the service type, its instance name
// (the server UUID) and the TXT record a client reads before it dials.
#pragma once

#include <string>
#include <vector>

namespace gc6890::sila {

inline constexpr const char* kDiscoveryServiceType = "_sila._tcp";
inline constexpr const char* kDiscoveryDomain = "local";
// The SiLA version the server speaks, announced as `version=`.
inline constexpr const char* kDiscoverySilaVersion = "1.1";
// A TXT entry ("key=value") holds at most 255 bytes.
inline constexpr std::size_t kMaxTxtEntryBytes = 255;

struct DiscoveryFacts {
    std::string serverName;
    std::string description;
    // The PEM of the CA that signed the server certificate when clients cannot already
    // trust it (the service's own CA); empty with a lab's certificate or without TLS.
    std::string caPem;
};

// The TXT entries, in order: version=, server_name=, description=, then the CA's PEM one
// line per entry (ca0= the BEGIN line, ca1=, ... through the END line). Each entry is valid
// UTF-8 cut to at most 255 bytes at a character's start.
std::vector<std::string> discoveryTxt(const DiscoveryFacts& facts);

}  // namespace gc6890::sila
