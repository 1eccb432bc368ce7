#include "service/loopback_address.h"

#include <arpa/inet.h>

namespace gc6890 {

bool isLoopback(const std::string& host)
{
    in_addr v4{};
    if (inet_pton(AF_INET, host.c_str(), &v4) == 1)
        return (ntohl(v4.s_addr) >> 24) == 127;
    return host == "::1" || host == "localhost";
}

}  // namespace gc6890
