#include "sim/pty_server.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

namespace gc6890::sim {

namespace {

using std::chrono::steady_clock;

constexpr auto kTick =
    std::chrono::milliseconds(100);             // the longest wait, so stop requests are seen soon
constexpr std::size_t kInputLimit = 64 * 1024;  // a line longer than this is dropped
// Bytes the host may have written ahead of the paced line; past this the host's writes
// wait, as they do on a serial port whose output buffer is full.
constexpr std::size_t kInboundLimit = 4096;

}  // namespace

PtyServer::PtyServer(Instrument& instrument)
    : instrument_(instrument), inLine_(instrument.faults().baud), outLine_(instrument.faults().baud)
{}

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
    // What was on the line when it went is lost with it, in both directions.
    partial_.clear();
    inbound_.clear();
    inboundBase_ = inLine_.entered();
    output_.clear();
    outputBase_ = outLine_.entered();
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
        ::cfmakeraw(&settings);  // no echo, no line editing, no CR/LF mapping
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
    // The line's deadlines are kept to the microsecond: no timer slack on our waits (the
    // kernel's default lets a wait end up to 50 us late).
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    while (!stop) {
        TimePoint now = steady_clock::now();
        deliverInput(now);
        instrument_.advance();
        takeAnswers(now, now);
        if (instrument_.hungUp())
            return 0;
        const bool full = !writeOutput(now);

        pollfd fd{master_, 0, 0};
        if (inbound_.size() < kInboundLimit)
            fd.events |= POLLIN;
        if (full)
            fd.events |= POLLOUT;
        const auto wait = std::max(nextWake(now, full) - now, steady_clock::duration::zero());
        const timespec timeout = {
            static_cast<time_t>(std::chrono::duration_cast<std::chrono::seconds>(wait).count()),
            static_cast<long>(std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count() %
                              1'000'000'000)};
        const int ready = ::ppoll(&fd, 1, &timeout, nullptr);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return 1;
        }
        if (fd.revents & POLLIN)
            readInput(steady_clock::now());
    }
    return 0;
}

void PtyServer::readInput(TimePoint now)
{
    char buffer[kInboundLimit];
    const ssize_t n = ::read(master_, buffer, kInboundLimit - inbound_.size());
    if (n <= 0)
        return;  // EAGAIN, or no host has the device open at the moment
    inbound_.append(buffer, static_cast<std::size_t>(n));
    inLine_.enter(static_cast<std::uint64_t>(n), now);
}

void PtyServer::deliverInput(TimePoint now)
{
    const auto carried = static_cast<std::size_t>(inLine_.through(now) - inboundBase_);
    for (std::size_t i = 0; i < carried; ++i) {
        const char c = inbound_[i];
        if (c == '\n') {
            instrument_.receive(partial_);
            partial_.clear();
            // The answer starts when the line feed has come in, however late we woke.
            takeAnswers(std::min(inLine_.throughAt(inboundBase_ + i), now), now);
        } else if (partial_.size() < kInputLimit)
            partial_ += c;
    }
    inbound_.erase(0, carried);
    inboundBase_ += carried;
}

void PtyServer::takeAnswers(TimePoint earliest, TimePoint now)
{
    const Clock& clock = instrument_.clock();
    for (;;) {
        const std::int64_t due = instrument_.nextDueMs();
        auto line = instrument_.takeDue();
        if (!line)
            return;
        const TimePoint start = std::min(std::max(earliest, clock.realTimeAt(due)), now);
        output_ += *line + "\n";
        outLine_.enter(line->size() + 1, start);
    }
}

bool PtyServer::writeOutput(TimePoint now)
{
    const auto carried = std::min<std::size_t>(
        output_.size(), static_cast<std::size_t>(outLine_.through(now) - outputBase_));
    if (carried == 0)
        return true;
    const ssize_t n = ::write(master_, output_.data(), carried);
    if (n <= 0)
        return errno != EAGAIN;
    output_.erase(0, static_cast<std::size_t>(n));
    outputBase_ += static_cast<std::uint64_t>(n);
    return static_cast<std::size_t>(n) == carried;
}

PtyServer::TimePoint PtyServer::nextWake(TimePoint now, bool outputFull) const
{
    TimePoint wake = now + kTick;
    const Clock& clock = instrument_.clock();
    if (const std::int64_t due = instrument_.nextDueMs(); due >= 0)
        wake = std::min(wake, clock.realTimeAt(due));
    if (const std::int64_t step = instrument_.nextEventMs(); step >= 0)
        wake = std::min(wake, clock.realTimeAt(step));
    if (const std::int64_t hangUp = instrument_.hangUpDueMs(); hangUp >= 0)
        wake = std::min(wake, clock.realTimeAt(hangUp));
    // Input matters to the instrument a whole line at a time: wake for the next line feed.
    if (const std::size_t feed = inbound_.find('\n'); feed != std::string::npos)
        wake = std::min(wake, inLine_.throughAt(inboundBase_ + feed));
    if (!output_.empty() && !outputFull)  // a full device wakes us with POLLOUT
        wake = std::min(wake, outLine_.throughAt(outputBase_));
    return wake;
}

}  // namespace gc6890::sim
