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

}  // namespace gc6890
