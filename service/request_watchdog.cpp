#include "service/request_watchdog.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <httplib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <vector>

namespace gc6890 {

namespace {

std::int64_t nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// "address port" of a socket address, the address as inet_ntop writes it; "" for other
// families.
std::string keyOf(const sockaddr_storage& address)
{
    char text[INET6_ADDRSTRLEN] = "";
    int port = 0;
    if (address.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
        inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text);
        port = ntohs(v4.sin_port);
    } else if (address.ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
        inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
        port = ntohs(v6.sin6_port);
    } else
        return {};
    return std::string(text) + " " + std::to_string(port);
}

// The same key from the library's peer text (numeric, as getnameinfo wrote it).
std::string keyOf(const httplib::Request& req)
{
    sockaddr_storage address{};
    auto& v4 = reinterpret_cast<sockaddr_in&>(address);
    auto& v6 = reinterpret_cast<sockaddr_in6&>(address);
    const std::string host = req.remote_addr.substr(0, req.remote_addr.find('%'));
    if (inet_pton(AF_INET, host.c_str(), &v4.sin_addr) == 1) {
        address.ss_family = AF_INET;
        v4.sin_port = htons(static_cast<std::uint16_t>(req.remote_port));
    } else if (inet_pton(AF_INET6, host.c_str(), &v6.sin6_addr) == 1) {
        address.ss_family = AF_INET6;
        v6.sin6_port = htons(static_cast<std::uint16_t>(req.remote_port));
    }
    return keyOf(address);
}

// The peer of a connected socket on `port`, or "" (not a socket, not ours, not connected).
std::string peerOn(int fd, int port)
{
    sockaddr_storage local{}, peer{};
    socklen_t size = sizeof local;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &size) != 0)
        return {};
    const std::string mine = keyOf(local);
    if (mine.empty() || mine.substr(mine.rfind(' ') + 1) != std::to_string(port))
        return {};
    size = sizeof peer;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &size) != 0)
        return {};
    return keyOf(peer);
}

}  // namespace

RequestWatchdog::RequestWatchdog(httplib::Server& server, int deadlineMs,
                                 std::function<void(const std::string&)> onCut)
    : deadlineMs_(deadlineMs), onCut_(std::move(onCut))
{
    // The answer starts: a new stretch for writing it (an event stream stays exempt).
    server.set_post_routing_handler(
        [this](const httplib::Request& req, httplib::Response&) { restart(req, false); });
    // The answer is out: the next request on the connection has a stretch of its own.
    server.set_logger(
        [this](const httplib::Request& req, const httplib::Response&) { restart(req, true); });
}

RequestWatchdog::~RequestWatchdog()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void RequestWatchdog::start(int port)
{
    port_ = port;
    thread_ = std::thread([this] { watch(); });
}

void RequestWatchdog::exempt(const httplib::Request& req)
{
    std::lock_guard lock(mutex_);
    Connection& connection = connections_[keyOf(req)];
    connection.exempt = true;
    connection.alive = nowMs();
}

void RequestWatchdog::restart(const httplib::Request& req, bool evenIfExempt)
{
    std::lock_guard lock(mutex_);
    Connection& connection = connections_[keyOf(req)];
    if (connection.exempt && !evenIfExempt)
        return;
    connection.exempt = false;
    connection.since = connection.alive = nowMs();
}

void RequestWatchdog::watch()
{
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        wake_.wait_for(lock, std::chrono::milliseconds(500));
        if (stopping_)
            break;
        lock.unlock();
        look();
        lock.lock();
    }
}

void RequestWatchdog::look()
{
    // The sockets first, without the lock: the hooks of the pool threads never wait long.
    const std::int64_t listed = nowMs();
    std::vector<std::pair<int, std::string>> open;
    if (DIR* folder = opendir("/proc/self/fd")) {
        while (const dirent* entry = readdir(folder)) {
            const int fd = std::atoi(entry->d_name);
            if (fd <= 2 || fd == dirfd(folder))
                continue;
            std::string peer = peerOn(fd, port_);
            if (!peer.empty())
                open.emplace_back(fd, std::move(peer));
        }
        closedir(folder);
    }
    const std::int64_t now = nowMs();
    std::vector<std::string> cut;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [fd, peer] : open) {
            auto found = connections_.try_emplace(peer, Connection{.since = now});
            Connection& connection = found.first->second;
            connection.alive = now;
            if (connection.exempt || now - connection.since <= deadlineMs_)
                continue;
            // The number may have been closed and reused since the look: a duplicate holds
            // the socket while it is checked again and shut down.
            const int held = fcntl(fd, F_DUPFD_CLOEXEC, 0);
            if (held < 0)
                continue;
            if (peerOn(held, port_) == peer) {
                ::shutdown(held, SHUT_RDWR);  // ends the pool thread's blocked read or write
                cut.push_back(peer);
                connection.since = now;  // told once; the connection is ending
            }
            close(held);
        }
        // Gone: neither found open nor named by a hook since the sockets were listed.
        std::erase_if(connections_, [&](const auto& entry) { return entry.second.alive < listed; });
    }
    for (const std::string& peer : cut)
        if (onCut_)
            onCut_(peer);
}

}  // namespace gc6890
