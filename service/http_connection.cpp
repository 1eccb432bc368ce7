#include "service/http_connection.h"

#include <arpa/inet.h>
#include <linux/sockios.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "service/snapshot.h"

namespace gc6890 {

namespace {

void addressOf(const sockaddr_storage& address, std::string& text, int& port)
{
    char buffer[INET6_ADDRSTRLEN] = "";
    if (address.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
        inet_ntop(AF_INET, &v4.sin_addr, buffer, sizeof buffer);
        port = ntohs(v4.sin_port);
    } else if (address.ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
        inet_ntop(AF_INET6, &v6.sin6_addr, buffer, sizeof buffer);
        port = ntohs(v6.sin6_port);
    }
    text = buffer;
}

}  // namespace

HttpConnection::HttpConnection(int fd, Timing timing,
                               std::unique_ptr<ConnectionTransport> transport)
    : fd_(fd), timing_(timing), transport_(transport ? std::move(transport) : plainTransport(fd))
{
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    if (getpeername(fd_, reinterpret_cast<sockaddr*>(&address), &size) == 0)
        addressOf(address, remoteAddr_, remotePort_);
    size = sizeof address;
    if (getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size) == 0)
        addressOf(address, localAddr_, localPort_);
}

HttpConnection::~HttpConnection()
{
    transport_->finish();
    ::shutdown(fd_, SHUT_RDWR);
    ::close(fd_);
}

bool HttpConnection::fill()
{
    if (used_ == pending_.size()) {
        pending_.clear();
        used_ = 0;
    }
    char buffer[4096];
    for (;;) {
        const ssize_t n = transport_->receive(buffer, sizeof buffer);
        if (n > 0) {
            pending_.append(buffer, static_cast<std::size_t>(n));
            if (readAhead() >= kMaxHeadBytes)
                return true;
            continue;
        }
        if (n == 0)
            return false;
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    }
}

bool HttpConnection::headComplete() const
{
    return pending_.find("\r\n\r\n", used_) != std::string::npos;
}

void HttpConnection::sendNow(const std::string& bytes)
{
    if (transport_->established()) {
        [[maybe_unused]] const ssize_t n = transport_->send(bytes.data(), bytes.size());
    }
}

void HttpConnection::drain()
{
    transport_->finish();
    ::shutdown(fd_, SHUT_WR);
    char buffer[4096];
    for (int i = 0; i < 16 && ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT) > 0; ++i) {
    }
}

void HttpConnection::beginRequest()
{
    deadlineMs_ = steadyNowMs() + timing_.deadlineMs;
    exempt_ = answering_ = closeAfterAnswer_ = cut_ = false;
    answered_ = 0;
}

long HttpConnection::unsent() const
{
    int bytes = 0;
    return ::ioctl(fd_, SIOCOUTQNSD, &bytes) == 0 ? bytes : -1;
}

bool HttpConnection::await(short events) const
{
    int timeout = timing_.ioTimeoutMs;
    bool deadlineFirst = false;
    if (!exempt_) {
        const std::int64_t left = deadlineMs_ - steadyNowMs();
        if (left <= 0) {
            cut_ = true;
            return false;
        }
        if (left < timeout) {
            timeout = static_cast<int>(left);
            deadlineFirst = true;
        }
    }
    pollfd ready{fd_, events, 0};
    int n;
    while ((n = ::poll(&ready, 1, timeout)) < 0 && errno == EINTR) {
    }
    if (n == 0 && deadlineFirst)
        cut_ = true;
    return n > 0 && (ready.revents & (events | POLLHUP | POLLERR));
}

bool HttpConnection::is_readable() const
{
    return used_ < pending_.size() || holdsBytes() || await(POLLIN);
}

bool HttpConnection::is_writable() const
{
    return await(POLLOUT);
}

ssize_t HttpConnection::read(char* ptr, size_t size)
{
    if (used_ < pending_.size()) {
        const std::size_t n = std::min(size, pending_.size() - used_);
        std::memcpy(ptr, pending_.data() + used_, n);
        used_ += n;
        return static_cast<ssize_t>(n);
    }
    pending_.clear();
    used_ = 0;
    for (short events = POLLIN;; events = transport_->wanted() ? transport_->wanted() : POLLIN) {
        if (!holdsBytes() && !await(events))
            return -1;
        const ssize_t n = transport_->receive(ptr, size);
        if (n >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
            return n;
    }
}

ssize_t HttpConnection::write(const char* ptr, size_t size)
{
    if (!answering_) {
        // The answer starts: a stretch of its own for writing it.
        answering_ = true;
        deadlineMs_ = steadyNowMs() + timing_.deadlineMs;
    }
    for (short events = POLLOUT;; events = transport_->wanted() ? transport_->wanted() : POLLOUT) {
        if (!await(events))
            return -1;
        const ssize_t n = transport_->send(ptr, size);
        if (n >= 0) {
            answered_ += static_cast<std::uint64_t>(n);
            return n;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return -1;
    }
}

void HttpConnection::get_remote_ip_and_port(std::string& ip, int& port) const
{
    ip = remoteAddr_;
    port = remotePort_;
}

void HttpConnection::get_local_ip_and_port(std::string& ip, int& port) const
{
    ip = localAddr_;
    port = localPort_;
}

}  // namespace gc6890
