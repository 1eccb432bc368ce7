#include "service/http_server.h"

#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <nlohmann/json.hpp>

#include "platform/platform.h"
#include "service/safe_text.h"
#include "service/snapshot.h"

namespace gc6890 {

namespace {

// The connection the current pool thread serves, for the handlers' calls.
thread_local HttpConnection* t_serving = nullptr;

const char* reasonOf(int status)
{
    switch (status) {
    case 408:
        return "Request Timeout";
    case 431:
        return "Request Header Fields Too Large";
    case 503:
        return "Service Unavailable";
    default:
        return "Internal Server Error";
    }
}

}  // namespace

// The library's task queue: on the accepting thread, the closure hands the socket to
// process_and_close_socket() at once, which puts it in the waiting room.
class HttpServer::Intake : public httplib::TaskQueue {
public:
    explicit Intake(HttpServer& server) : server_(server) { server_.startWorkers(); }
    void enqueue(std::function<void()> fn) override { fn(); }
    void shutdown() override { server_.stopWorkers(); }

private:
    HttpServer& server_;
};

HttpServer::HttpServer(Limits limits, Hooks hooks) : limits_(limits), hooks_(std::move(hooks))
{
    new_task_queue = [this] { return new Intake(*this); };
}

HttpServer::~HttpServer()
{
    stopWorkers();
}

void HttpServer::streamingAnswer()
{
    if (t_serving)
        t_serving->exempt();
}

void HttpServer::closeAfterAnswer()
{
    if (t_serving)
        t_serving->closeAfterAnswer();
}

long HttpServer::unsentBytes()
{
    return t_serving ? t_serving->unsent() : -1;
}

std::size_t HttpServer::waiting() const
{
    std::lock_guard lock(roomMutex_);
    return room_.size();
}

void HttpServer::useTls(std::unique_ptr<TlsContext> tls)
{
    tls_ = std::move(tls);
}

bool HttpServer::process_and_close_socket(socket_t sock)
{
    std::unique_ptr<ConnectionTransport> transport;
    try {
        transport = tls_ ? tls_->accept(sock) : plainTransport(sock);
    } catch (const std::exception& error) {
        if (hooks_.failed)
            hooks_.failed("a new connection", error.what());
        ::close(sock);
        return true;
    }
    admit(std::make_unique<HttpConnection>(sock, limits_.timing, std::move(transport)));
    return true;
}

void HttpServer::startWorkers()
{
    stopWorkers();
    epoll_ = epoll_create1(EPOLL_CLOEXEC);
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    epoll_event wake{};
    wake.events = EPOLLIN;
    wake.data.fd = wakeFd_;
    epoll_ctl(epoll_, EPOLL_CTL_ADD, wakeFd_, &wake);
    stopping_ = false;
    roomThread_ = std::thread([this] { watchRoom(); });
    for (std::size_t i = 0; i < limits_.threads; ++i)
        workers_.emplace_back([this] { work(); });
}

void HttpServer::stopWorkers()
{
    if (!roomThread_.joinable())
        return;
    {
        std::lock_guard room(roomMutex_);
        std::lock_guard lock(readyMutex_);
        stopping_ = true;
    }
    readyChanged_.notify_all();
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
    roomThread_.join();
    for (std::thread& worker : workers_)
        worker.join();
    workers_.clear();
    {
        std::lock_guard lock(roomMutex_);
        room_.clear();
    }
    ready_.clear();
    ::close(epoll_);
    ::close(wakeFd_);
    epoll_ = wakeFd_ = -1;
}

void HttpServer::admit(std::unique_ptr<HttpConnection> connection)
{
    const bool kept = t_serving != nullptr;  // back from a pool thread after an answer
    {
        std::lock_guard lock(roomMutex_);
        if (stopping_)
            return;
        if (room_.size() < limits_.maxWaiting) {
            const int fd = connection->fd();
            epoll_event readable{};
            readable.events = EPOLLIN | EPOLLRDHUP;
            readable.data.fd = fd;
            if (epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &readable) != 0)
                return;                                        // closed on the way out
            const bool started = connection->readAhead() > 0;  // part of the next request
            room_[fd] = Waiting{std::move(connection), steadyNowMs(), started};
            return;
        }
    }
    // Full. A connection kept alive after its answer asked nothing yet: closed quietly.
    if (kept)
        return;
    if (hooks_.shed)
        hooks_.shed(connection->address());
    answerAndClose(*connection, 503, "the service has too many connections; try again");
}

void HttpServer::watchRoom()
{
    epoll_event events[64];
    std::int64_t lastLook = 0;
    for (;;) {
        const int n = epoll_wait(epoll_, events, 64, 100);
        std::vector<std::unique_ptr<HttpConnection>> whole, closed;
        std::vector<std::pair<std::unique_ptr<HttpConnection>, int>> refused;
        {
            std::lock_guard lock(roomMutex_);
            if (stopping_)
                return;
            const auto take = [&](std::map<int, Waiting>::iterator entry) {
                epoll_ctl(epoll_, EPOLL_CTL_DEL, entry->first, nullptr);
                std::unique_ptr<HttpConnection> connection = std::move(entry->second.connection);
                room_.erase(entry);
                return connection;
            };
            for (int i = 0; i < n; ++i) {
                const auto entry = room_.find(events[i].data.fd);
                if (entry == room_.end())
                    continue;
                HttpConnection& connection = *entry->second.connection;
                const bool open = connection.fill();
                entry->second.started = entry->second.started || connection.readAhead() > 0;
                if (connection.headComplete())
                    whole.push_back(take(entry));
                else if (connection.headTooLong())
                    refused.emplace_back(take(entry), 431);
                else if (!open)
                    closed.push_back(take(entry));
            }
            // The deadlines, looked at ten times a second.
            const std::int64_t now = steadyNowMs();
            if (now - lastLook >= 100) {
                lastLook = now;
                for (auto entry = room_.begin(); entry != room_.end();) {
                    const auto next = std::next(entry);
                    const std::int64_t waited = now - entry->second.sinceMs;
                    if (!entry->second.started && waited > limits_.firstByteMs)
                        closed.push_back(take(entry));
                    else if (entry->second.started && waited > limits_.headMs)
                        refused.emplace_back(take(entry), 408);
                    entry = next;
                }
            }
        }
        for (auto& connection : whole)
            offer(std::move(connection));
        for (auto& [connection, status] : refused) {
            if (status == 408) {
                if (hooks_.cut)
                    hooks_.cut(
                        connection->address(),
                        format("its request head took longer than %d s", limits_.headMs / 1000));
                answerAndClose(*connection, 408,
                               format("the request head did not come whole within %d s",
                                      limits_.headMs / 1000));
            } else
                answerAndClose(*connection, 431,
                               format("the request head is larger than %zu bytes",
                                      HttpConnection::kMaxHeadBytes));
        }
    }
}

void HttpServer::offer(std::unique_ptr<HttpConnection> connection)
{
    {
        std::lock_guard lock(readyMutex_);
        if (stopping_)
            return;
        if (ready_.size() < limits_.maxReady) {
            ready_.push_back(std::move(connection));
            readyChanged_.notify_one();
            return;
        }
    }
    if (hooks_.shed)
        hooks_.shed(connection->address());
    answerAndClose(*connection, 503, "the service is busy with other requests; try again");
}

void HttpServer::work()
{
    for (;;) {
        std::unique_ptr<HttpConnection> connection;
        {
            std::unique_lock lock(readyMutex_);
            readyChanged_.wait(lock, [&] { return stopping_ || !ready_.empty(); });
            if (stopping_)
                return;
            connection = std::move(ready_.front());
            ready_.pop_front();
        }
        serve(std::move(connection));
    }
}

void HttpServer::serve(std::unique_ptr<HttpConnection> connection)
{
    t_serving = connection.get();
    for (std::size_t served = 1;; ++served) {
        connection->beginRequest();
        bool closed = false;
        bool ok = false;
        std::string failure;
        try {
            ok = process_request(*connection, served >= limits_.keepAliveRequests || stopping_,
                                 closed, nullptr);
        } catch (const std::exception& error) {
            failure = error.what();
        } catch (...) {
            failure = "an exception that is no std::exception";
        }
        if (!failure.empty()) {
            if (hooks_.failed)
                hooks_.failed(connection->address(), failure);
            if (connection->answered() == 0)
                answerAndClose(*connection, 500, "internal error");
            ok = false;
        }
        if (connection->cut() && hooks_.cut)
            hooks_.cut(connection->address(),
                       format("its request ran past %d s", limits_.timing.deadlineMs / 1000));
        if (!ok || closed || connection->cut() || connection->closingAfterAnswer() ||
            served >= limits_.keepAliveRequests || stopping_)
            break;
        if (!linger(*connection))
            break;
        if (connection->headComplete())
            continue;  // the next request is there
        admit(std::move(connection));
        break;
    }
    t_serving = nullptr;
}

bool HttpServer::linger(HttpConnection& connection) const
{
    const std::int64_t until = steadyNowMs() + limits_.lingerMs;
    while (!connection.headComplete() && !connection.headTooLong()) {
        const std::int64_t left = until - steadyNowMs();
        pollfd ready{connection.fd(), POLLIN, 0};
        if (!connection.holdsBytes() &&
            (left <= 0 || ::poll(&ready, 1, static_cast<int>(left)) <= 0))
            return true;
        if (!connection.fill())
            return connection.headComplete();
    }
    return true;
}

void HttpServer::answerAndClose(HttpConnection& connection, int status, const std::string& error)
{
    const std::string body = jsonText({{"error", error}}) + "\n";
    std::string head = format("HTTP/1.1 %d %s\r\nContent-Type: application/json\r\n"
                              "Content-Length: %zu\r\nConnection: close\r\n",
                              status, reasonOf(status), body.size());
    if (status == 503)
        head += "Retry-After: 5\r\n";
    for (const auto& [name, value] : hooks_.headers)
        head += name + ": " + value + "\r\n";
    connection.sendNow(head + "\r\n" + body);
    connection.drain();
}

}  // namespace gc6890
