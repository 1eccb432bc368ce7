#include "service/random_bytes.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <sys/random.h>

namespace gc6890 {

void fillRandom(std::span<unsigned char> bytes, const std::string& failure)
{
    if (getrandom(bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size()))
        throw std::runtime_error(failure + ": " + std::strerror(errno));
}

std::string hexText(std::span<const unsigned char> bytes)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (const unsigned char byte : bytes) {
        text += kHex[byte >> 4];
        text += kHex[byte & 15];
    }
    return text;
}

std::string randomSecret(const std::string& failure)
{
    unsigned char bytes[32];
    fillRandom(bytes, failure);
    return hexText(bytes);
}

}  // namespace gc6890
