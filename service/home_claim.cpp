#include "service/home_claim.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/drive_paths.h"

namespace gc6890 {

HomeClaim::~HomeClaim()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool HomeClaim::claim(const std::string& home, std::string& error)
{
    const std::string path = home + "/serve.lock";
    if (!makeDirectories(home)) {
        error = "cannot make the home " + home + ": " + std::strerror(errno);
        return false;
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int why = errno;
        char holder[32] = {};
        const ssize_t got = ::pread(fd, holder, sizeof holder - 1, 0);
        ::close(fd);
        if (why != EWOULDBLOCK) {
            error = "cannot lock " + path + ": " + std::strerror(why);
            return false;
        }
        std::string pid(holder, got > 0 ? static_cast<std::size_t>(got) : 0);
        pid.erase(pid.find_last_not_of("\n") + 1);
        error = "another gc6890 serve" + (pid.empty() ? std::string() : " (process " + pid + ")") +
                " uses the home " + home +
                "; give each service a home of its own (GC6890_HOME, docs/fleet.md)";
        return false;
    }
    // The holder's process id, for the refusal of the next one; the claim holds without it.
    const std::string pid = std::to_string(::getpid()) + "\n";
    [[maybe_unused]] const bool written =
        ::ftruncate(fd, 0) == 0 && ::pwrite(fd, pid.data(), pid.size(), 0) > 0;
    fd_ = fd;
    return true;
}

}  // namespace gc6890
