#include "service/service_token.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"

namespace gc6890 {

namespace {

std::string readToken(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    char text[256];
    const ssize_t n = ::read(fd, text, sizeof text);
    ::close(fd);
    std::string token(text, n > 0 ? static_cast<std::size_t>(n) : 0);
    while (!token.empty() && (token.back() == '\n' || token.back() == ' '))
        token.pop_back();
    return token;
}

std::string randomToken()
{
    unsigned char bytes[32];
    if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes))
        throw std::runtime_error(std::string("cannot make the service token: ") +
                                 std::strerror(errno));
    std::string token;
    for (unsigned char byte : bytes)
        token += format("%02x", byte);
    return token;
}

}  // namespace

std::string serviceTokenPath()
{
    return homeDirectory() + "/service-token";
}

std::string loadOrMakeServiceToken()
{
    const std::string path = serviceTokenPath();
    if (std::string token = readToken(path); !token.empty())
        return token;
    makeDirectories(homeDirectory());
    const std::string token = randomToken();
    // O_EXCL: when two services start on one home at once, one token wins and both use it.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        if (errno == EEXIST)
            if (std::string other = readToken(path); !other.empty())
                return other;
        throw std::runtime_error("cannot make the service token " + path + ": " +
                                 std::strerror(errno));
    }
    const std::string line = token + "\n";
    const bool written = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    ::fsync(fd);
    ::close(fd);
    if (!written) {
        ::unlink(path.c_str());
        throw std::runtime_error("cannot write the service token " + path);
    }
    return token;
}

bool sameToken(const std::string& given, const std::string& token)
{
    if (token.empty() || given.size() != token.size())
        return false;  // the length is no secret: every token has 64 digits
    unsigned char difference = 0;
    for (std::size_t i = 0; i < given.size(); ++i)
        difference |= static_cast<unsigned char>(given[i] ^ token[i]);
    return difference == 0;
}

}  // namespace gc6890
