#include "sim/pty_server.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace gc6890::sim {

namespace {

constexpr int kTickMs = 100;  // the longest poll() wait, so stop requests are seen soon
constexpr std::size_t kInputLimit = 64 * 1024;  // a line longer than this is dropped

std::int64_t realNowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

PtyServer::PtyServer(Instrument& instrument) : instrument_(instrument) {}

PtyServer::~PtyServer()
{
    close();
}

void PtyServer::close()
{
    if (slave_ >= 0)
        ::close(slave_);
    if (master_ >= 0)
        ::close(master_);
    slave_ = master_ = -1;
}

bool PtyServer::open(std::string& error)
{
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        error = std::string("Cannot create a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    const char* name = ::ptsname(master_);
    if (!name) {
        error = std::string("Cannot name the pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    devicePath_ = name;
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0) {
        error = "Cannot open " + devicePath_ + ": " + std::strerror(errno);
        return false;
    }
    termios settings{};
    if (::tcgetattr(slave_, &settings) == 0) {
        ::cfmakeraw(&settings);          // no echo, no line editing, no CR/LF mapping
        settings.c_cflag |= CLOCAL | CREAD;
        settings.c_cc[VMIN] = 0;
        settings.c_cc[VTIME] = 0;
        ::cfsetispeed(&settings, B9600);
        ::cfsetospeed(&settings, B9600);
        ::tcsetattr(slave_, TCSANOW, &settings);
    }
    const int flags = ::fcntl(master_, F_GETFL);
    ::fcntl(master_, F_SETFL, flags | O_NONBLOCK);
    return true;
}

int PtyServer::serve(const volatile std::sig_atomic_t& stop)
{
    Clock& clock = instrument_.clock();
    const int baud = instrument_.faults().baud;
    const double msPerByte = baud > 0 ? 10000.0 / baud : 0.0;  // 8N1: ten bits a byte
    std::int64_t nextByteRealMs = 0;
    while (!stop) {
        instrument_.advance();
        while (auto line = instrument_.takeDue())
            output_ += *line + "\n";
        if (instrument_.hungUp())
            return 0;

        int waitMs = kTickMs;
        for (const std::int64_t due : {instrument_.nextDueMs(), instrument_.hangUpDueMs()})
            if (due >= 0)
                waitMs = static_cast<int>(std::min<std::int64_t>(waitMs, clock.realMsUntil(due)));
        pollfd fd{master_, POLLIN, 0};
        if (!output_.empty()) {
            const std::int64_t pause = nextByteRealMs - realNowMs();
            if (pause <= 0)
                fd.events |= POLLOUT;
            else
                waitMs = static_cast<int>(std::min<std::int64_t>(waitMs, pause));
        }
        const int ready = ::poll(&fd, 1, std::max(waitMs, 0));
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return 1;
        }
        if (fd.revents & POLLIN)
            readInput();
        if ((fd.revents & POLLOUT) && !output_.empty()) {
            if (msPerByte > 0.0) {
                if (::write(master_, output_.data(), 1) == 1) {
                    output_.erase(0, 1);
                    nextByteRealMs = realNowMs() + static_cast<std::int64_t>(msPerByte);
                }
            } else {
                const ssize_t n = ::write(master_, output_.data(), output_.size());
                if (n > 0)
                    output_.erase(0, static_cast<std::size_t>(n));
            }
        }
    }
    return 0;
}

void PtyServer::readInput()
{
    char buffer[4096];
    const ssize_t n = ::read(master_, buffer, sizeof buffer);
    if (n <= 0)
        return;  // EAGAIN, or no host has the device open at the moment
    for (ssize_t i = 0; i < n; ++i) {
        if (buffer[i] == '\n') {
            instrument_.receive(partial_);
            partial_.clear();
        } else if (partial_.size() < kInputLimit)
            partial_ += buffer[i];
    }
}

}  // namespace gc6890::sim
