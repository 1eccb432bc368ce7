#include "external/termios_port.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "external/port_interrupt.h"
#include "platform/cstring.h"

namespace gc6890 {

namespace {

speed_t speedFor(int baudRate)
{
    switch (baudRate) {
    case 300:
        return B300;
    case 600:
        return B600;
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    default:
        return B9600;
    }
}

tcflag_t characterSize(int dataBits)
{
    switch (dataBits) {
    case 5:
        return CS5;
    case 6:
        return CS6;
    case 7:
        return CS7;
    default:
        return CS8;
    }
}

std::string systemReason(int error)
{
    return std::strerror(error);
}

}  // namespace

TermiosPort::TermiosPort(PortSettings settings) : m_settings(std::move(settings)) {}

TermiosPort::~TermiosPort()
{
    close();
}

bool TermiosPort::open(std::string& error)
{
    if (isOpen())
        return true;
    if (std::string bad = validatePortSettings(m_settings); !bad.empty()) {
        error = format("cannot open %s: %s", m_settings.device.c_str(), bad.c_str());
        return false;
    }
    // O_NOCTTY: the instrument must never become our controlling terminal.
    // O_NONBLOCK: open does not wait for carrier; every read and write waits in poll().
    m_fd = ::open(m_settings.device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0) {
        error =
            format("cannot open %s: %s", m_settings.device.c_str(), systemReason(errno).c_str());
        return false;
    }
    if (!isatty(m_fd)) {
        error = format("cannot open %s: it is not a serial device", m_settings.device.c_str());
        close();
        return false;
    }
    // An exclusive lock on the device: a second program (ours or another that locks
    // alike) is refused at once, root included, whom TIOCEXCL below does not stop. The
    // kernel drops the lock when we close or die.
    if (flock(m_fd, LOCK_EX | LOCK_NB) < 0) {
        const int reason = errno;
        error = reason == EWOULDBLOCK ? format("cannot open %s: it is in use by another program",
                                               m_settings.device.c_str())
                                      : format("cannot open %s: %s", m_settings.device.c_str(),
                                               systemReason(reason).c_str());
        close();
        return false;
    }
    // TIOCEXCL: no other process may open the line while we hold it.
    if (ioctl(m_fd, TIOCEXCL) < 0) {
        error =
            format("cannot open %s: %s", m_settings.device.c_str(), systemReason(errno).c_str());
        close();
        return false;
    }
    if (!configure(error)) {
        close();
        return false;
    }
    return true;
}

bool TermiosPort::configure(std::string& error)
{
    struct termios tio {};
    if (tcgetattr(m_fd, &tio) < 0) {
        error = format("cannot configure %s: %s", m_settings.device.c_str(),
                       systemReason(errno).c_str());
        return false;
    }
    m_saved = tio;
    m_restoreSaved = true;

    cfmakeraw(&tio);  // no echo, no line editing, no translation of CR/LF, 8-bit clean
    tio.c_cflag |= CLOCAL | CREAD;  // ignore modem lines; enable the receiver
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    tio.c_cflag |= characterSize(m_settings.dataBits);
    if (m_settings.parity != 'N')
        tio.c_cflag |= PARENB | (m_settings.parity == 'O' ? PARODD : 0);
    if (m_settings.stopBits == 2)
        tio.c_cflag |= CSTOPB;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    if (m_settings.flowControl == FlowControl::RtsCts)
        tio.c_cflag |= CRTSCTS;
    else if (m_settings.flowControl == FlowControl::XonXoff)
        tio.c_iflag |= IXON | IXOFF;
    // VMIN 0 / VTIME 0: read() never blocks; time-outs are poll()'s.
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, speedFor(m_settings.baudRate));
    cfsetospeed(&tio, speedFor(m_settings.baudRate));
    if (tcsetattr(m_fd, TCSANOW, &tio) < 0) {
        error = format("cannot configure %s: %s", m_settings.device.c_str(),
                       systemReason(errno).c_str());
        return false;
    }
    return true;
}

void TermiosPort::close()
{
    if (m_fd < 0)
        return;
    if (m_restoreSaved)
        tcsetattr(m_fd, TCSANOW, &m_saved);  // leave the device as we found it
    m_restoreSaved = false;
    ::close(m_fd);
    m_fd = -1;
}

bool TermiosPort::write(std::string_view bytes, int timeoutMs)
{
    if (!isOpen())
        return false;
    // One deadline for the whole write: a line that drains a little at a time cannot hold
    // the caller for a time-out per wait. It is set when the output queue is first found
    // full, so a write the queue takes at once (every line of an exchange) reads no clock.
    using Clock = std::chrono::steady_clock;
    std::optional<Clock::time_point> deadline;
    while (!bytes.empty()) {
        const ssize_t written = ::write(m_fd, bytes.data(), bytes.size());
        if (written > 0) {
            bytes.remove_prefix(static_cast<size_t>(written));
            continue;
        }
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0 && errno != EAGAIN)
            return failWrite(errno == EIO || errno == ENXIO);
        // The output queue is full: wait until it drains, but not past the deadline.
        const auto now = Clock::now();
        if (!deadline)
            deadline = now + std::chrono::milliseconds(std::max(timeoutMs, 0));
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - now).count();
        if (left <= 0)
            return false;
        if (PortWaitsInterrupted())
            return false;
        struct pollfd p[2] = {{m_fd, POLLOUT, 0}, {PortInterruptFd(), POLLIN, 0}};
        const int ready = poll(p, 2, static_cast<int>(left));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready > 0 && !p[0].revents)
            continue;  // only the interrupt: seen at the top of the loop
        if (ready <= 0 || (p[0].revents & (POLLERR | POLLHUP | POLLNVAL)))
            return failWrite(ready > 0);
    }
    return true;
}

bool TermiosPort::failWrite(bool gone)
{
    // A device that hung up does not come back: closed now, the port shows it to every
    // later caller (isOpen() false), which the serial port library counts as a line gone.
    if (gone)
        close();
    return false;
}

SerialPortBackend::ReadResult TermiosPort::read(char* buffer, std::size_t size, int timeoutMs)
{
    if (!isOpen())
        return {ReadStatus::Gone, 0};
    // The host's interrupt (port_interrupt.h) ends the wait as a time-out would.
    struct pollfd p[2] = {{m_fd, POLLIN, 0}, {PortInterruptFd(), POLLIN, 0}};
    int ready;
    do {
        if (PortWaitsInterrupted())
            return {ReadStatus::TimedOut, 0};
        ready = poll(p, 2, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    if (ready == 0 || (ready > 0 && !p[0].revents))
        return {ReadStatus::TimedOut, 0};
    if (ready < 0 || (p[0].revents & (POLLERR | POLLNVAL)))
        return {ReadStatus::Gone, 0};
    const ssize_t got = ::read(m_fd, buffer, size);
    if (got > 0)
        return {ReadStatus::Data, static_cast<std::size_t>(got)};
    if (got < 0 && errno == EAGAIN)
        return {ReadStatus::TimedOut, 0};
    // A hang-up with nothing left to read (0 bytes, POLLHUP) or EIO: the device is gone.
    return {ReadStatus::Gone, 0};
}

}  // namespace gc6890
