#include "service/service_token.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"
#include "service/random_bytes.h"

namespace gc6890 {

namespace {

[[noreturn]] void refuse(const std::string& path, const std::string& why, const std::string& fix)
{
    throw std::runtime_error("the service token " + path + " " + why + ": " + fix);
}

// What the file at `path` holds, after the checks; nullopt when there is no file.
std::optional<std::string> readToken(const std::string& path)
{
    // O_NOFOLLOW: a link planted at the path before the first start is refused, never read
    // as the token (it could name any file the service's user can read).
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return std::nullopt;
        if (errno == ELOOP)
            refuse(path, "is a symbolic link", "remove it (rm " + path + ") and start again");
        refuse(path, std::string("cannot be read (") + std::strerror(errno) + ")",
               "check the file and its folder");
    }
    struct stat info {};
    std::string text;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid() &&
        (info.st_mode & 077) == 0) {
        char buffer[512];
        ssize_t n = 0;
        while (text.size() < 4096 && (n = ::read(fd, buffer, sizeof buffer)) > 0)
            text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    if (!S_ISREG(info.st_mode))
        refuse(path, "is not a regular file", "remove it and start again");
    if (info.st_uid != ::geteuid())
        refuse(path, "belongs to another user",
               "make it yours (chown) or remove it and start again");
    if ((info.st_mode & 077) != 0)
        refuse(path, format("can be read by others (mode %04o)", info.st_mode & 07777),
               "chmod 600 " + path + ", and make a new token if others may have read it");
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    for (const char c : text) {
        if (c <= ' ' || c == 0x7F)
            refuse(path, "holds more than one line of printable characters",
                   "write the token alone on one line, or remove the file for a new one");
    }
    if (!text.empty() && text.size() < kMinTokenLength)
        refuse(path, format("holds a token of %zu characters", text.size()),
               format("use one of at least %zu (remove the file for a new one)", kMinTokenLength));
    return text;
}

std::string randomToken()
{
    return randomSecret("cannot make the service token");
}

// Writes the token to a file of its own, then links it into place: the path holds either
// nothing or a whole token, whenever the service is killed. False when another start's
// token got there first.
bool placeToken(const std::string& path, const std::string& token)
{
    // A name of its own for each start (and each thread of one); O_EXCL never reuses one.
    const std::string temporary = path + "." + randomToken().substr(0, 12) + ".new";
    const mode_t mask = ::umask(077);
    const int fd =
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    ::umask(mask);
    if (fd < 0)
        throw std::runtime_error("cannot make the service token " + path + ": " +
                                 std::strerror(errno));
    const std::string line = token + "\n";
    const bool written =
        ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size()) &&
        ::fsync(fd) == 0;
    ::close(fd);
    const int linked = written ? ::link(temporary.c_str(), path.c_str()) : -1;
    const int linkError = errno;
    ::unlink(temporary.c_str());
    if (!written)
        throw std::runtime_error("cannot write the service token " + path);
    if (linked != 0 && linkError == EEXIST)
        return false;
    if (linked != 0)
        throw std::runtime_error("cannot make the service token " + path + ": " +
                                 std::strerror(linkError));
    if (const int folder = ::open(homeDirectory().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        folder >= 0) {
        ::fsync(folder);  // the link itself survives a power cut
        ::close(folder);
    }
    return true;
}

}  // namespace

std::string serviceTokenPath()
{
    return homeDirectory() + "/service-token";
}

std::string loadOrMakeServiceToken()
{
    const std::string path = serviceTokenPath();
    std::optional<std::string> found = readToken(path);
    if (found && !found->empty())
        return *found;
    if (found) {
        // An empty file: a start of an older version killed while writing it, or a file
        // emptied by hand. Nobody can use an empty token, so nothing is lost by replacing
        // it; starting anyway is what a user expects, and they are told.
        std::cerr << "gc6890 serve: the service token " << path
                  << " was empty; it now holds a new token (gc6890 serve --show-token)\n";
        ::unlink(path.c_str());
    }
    makeDirectories(homeDirectory());
    const std::string token = randomToken();
    if (placeToken(path, token))
        return token;
    // Another start made one at the same moment: both use that one.
    found = readToken(path);
    if (!found || found->empty())
        throw std::runtime_error("cannot make the service token " + path +
                                 ": another start is writing it; try again");
    return *found;
}

bool sameToken(const std::string& given, const std::string& token)
{
    if (token.empty() || given.size() != token.size())
        return false;  // the length gives nothing useful away: tokens have 32 characters or more
    unsigned char difference = 0;
    for (std::size_t i = 0; i < given.size(); ++i)
        difference |= static_cast<unsigned char>(given[i] ^ token[i]);
    return difference == 0;
}

}  // namespace gc6890
