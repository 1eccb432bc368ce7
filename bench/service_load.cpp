// The instrument service under load: `gc6890 serve` on the built-in simulator with a 1 s
// poll, and beside it the HTTP library's minimal handler (gc6890-bench-httpd) on the same
// pool. One load generator thread, pinned to one core, drives both:
//   1. the request rate: 32 keep-alive clients ask GET /api/v1/status at fixed offered
//      rates, step by step, alternating between the two servers;
//   2. the event stream: 64 subscribers on /api/v1/events while the 32 clients keep up a
//      fixed rate on the service: the delay from each poll to its status event at every
//      subscriber, the poll period, the service's memory, a 65th subscriber (turned away),
//      and a fresh client once a second (answered, however busy the pool).
//
//   3. a crowd of clients trickling their headers (a byte every 2 s, each connecting again
//      once answered) while a fresh client asks /healthz, then /api/v1/status, every 100 ms:
//      how long those take, and whether any is left unanswered.
//
//     bench_service [--rate R]... [--step-seconds 3] [--load R] [--seconds 30]
//                   [--crowd 400] [--crowd-seconds 20]
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"

using benchsupport::Child;
using benchsupport::die;
using benchsupport::percentile;
using benchsupport::pinToLastCore;
using benchsupport::procStatus;
using benchsupport::startChild;
using benchsupport::stopChild;

namespace {

constexpr int kClients = 32;
constexpr int kSubscribers = 64;

double steadyMs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// "2026-12-06T16:20:56.123Z" in ms since the epoch.
double isoMs(const std::string& text)
{
    std::tm utc{};
    int ms = 0;
    if (std::sscanf(text.c_str(), "%d-%d-%dT%d:%d:%d.%dZ", &utc.tm_year, &utc.tm_mon, &utc.tm_mday,
                    &utc.tm_hour, &utc.tm_min, &utc.tm_sec, &ms) != 7)
        return 0;
    utc.tm_year -= 1900;
    utc.tm_mon -= 1;
    return static_cast<double>(timegm(&utc)) * 1e3 + ms;
}

// A non-blocking connection to the service; the benchmark cannot go on without it.
int connectTo(int port)
{
    const int fd = benchsupport::connectLoopback(port, true);
    if (fd < 0)
        die(std::string("cannot connect: ") + std::strerror(errno));
    return fd;
}

void sendAll(int fd, const std::string& text)
{
    if (::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
        die("a request could not be written at once");
}

// One HTTP response at the start of `in`: its status and its length, or 0 while incomplete.
std::size_t responseLength(const std::string& in, int& status)
{
    const std::size_t head = in.find("\r\n\r\n");
    if (head == std::string::npos)
        return 0;
    status = std::atoi(in.c_str() + 9);
    const std::size_t field = in.find("Content-Length: ");
    const std::size_t body = field < head ? std::strtoul(in.c_str() + field + 16, nullptr, 10) : 0;
    return in.size() >= head + 4 + body ? head + 4 + body : 0;
}

const std::string kStatusRequest = "GET /api/v1/status HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";

struct Connection {
    enum Kind { Client, Subscriber, Probe } kind = Client;
    int fd = -1;
    int port = 0;
    std::string in{};
    bool busy = false;
    double startedMs = 0;  // when its request was due (clients), written (probes)
    bool streaming = false;
    double arrivedMs = 0;  // when its last bytes arrived (subscribers)
};

// What a window of fixed-rate requests gave.
struct Window {
    double offered = 0;
    double seconds = 0;
    std::size_t completed = 0;
    std::size_t failed = 0;
    std::vector<double> latencyMs{};  // from when each request was due
    double rate() const { return completed / seconds; }
};

// One poll as the subscribers saw its status event.
struct PollSeen {
    double pollMs = 0;  // the poll's time (the status's "time")
    int subscribers = 0;
    double worstMs = 0;
};

class Generator {
public:
    Generator() : epoll_(epoll_create1(EPOLL_CLOEXEC)) {}

    void addClients(int port, int count)
    {
        for (int i = 0; i < count; ++i)
            add(Connection{.kind = Connection::Client, .fd = connectTo(port), .port = port});
    }

    void addSubscribers(int port, int count)
    {
        for (int i = 0; i < count; ++i) {
            Connection& subscriber = add(
                Connection{.kind = Connection::Subscriber, .fd = connectTo(port), .port = port});
            benchsupport::stampArrivals(subscriber.fd);
            sendAll(subscriber.fd, "GET /api/v1/events HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: "
                                   "text/event-stream\r\n\r\n");
        }
    }

    // Closes every connection of a kind.
    void closeAll(Connection::Kind kind)
    {
        for (auto it = connections_.begin(); it != connections_.end();) {
            if (it->second.kind == kind) {
                close(it->first);
                it = connections_.erase(it);
            } else
                ++it;
        }
        rotor_ = connections_.end();
    }

    // Requests at `rate` a second for `seconds`, spread over the idle clients; latency
    // counts from when a request was due, so that a server falling behind shows it. With
    // `probePort`, a fresh connection asks once a second as well.
    Window run(int rate, double seconds, int probePort = 0)
    {
        Window window{.offered = static_cast<double>(rate), .seconds = seconds};
        window_ = &window;
        const double start = steadyMs();
        const double end = start + seconds * 1e3;
        double due = start;
        double nextProbe = start + 500;
        for (double now = start; now < end; now = steadyMs()) {
            while (due <= now) {
                Connection* idle = idleClient();
                if (!idle)
                    break;
                idle->busy = true;
                idle->startedMs = due;
                sendAll(idle->fd, kStatusRequest);
                due += 1e3 / rate;
            }
            if (probePort && now >= nextProbe) {
                Connection& probe = add(Connection{.kind = Connection::Probe,
                                                   .fd = connectTo(probePort),
                                                   .busy = true,
                                                   .startedMs = now});
                sendAll(probe.fd, "GET /api/v1/status HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                  "Connection: close\r\n\r\n");
                nextProbe += 1000;
            }
            const double until = std::min({due, end, probePort ? nextProbe : end});
            wait(std::max(0.0, until - steadyMs()));
        }
        window_ = nullptr;
        // Let what is under way finish (not counted), so that the next window starts clean.
        for (double drain = steadyMs() + 5000; busyClients() && steadyMs() < drain;)
            wait(10);
        return window;
    }

    // Events for a while without requests.
    void listen(double ms)
    {
        for (const double end = steadyMs() + ms; steadyMs() < end;)
            wait(std::max(0.0, end - steadyMs()));
    }

    std::map<std::uint64_t, PollSeen>& polls() { return polls_; }
    std::vector<double>& eventDelays() { return eventDelays_; }
    std::vector<double>& probeMs() { return probeMs_; }
    int refusedSubscribers() const { return refusedSubscribers_; }
    int failedProbes() const { return failedProbes_; }
    void countPollsAfter(std::uint64_t polls) { countAfter_ = polls; }
    std::uint64_t latestPoll() const { return latestPoll_; }

private:
    Connection& add(Connection connection)
    {
        epoll_event interest{};
        interest.events = EPOLLIN | EPOLLRDHUP;
        interest.data.fd = connection.fd;
        epoll_ctl(epoll_, EPOLL_CTL_ADD, connection.fd, &interest);
        return connections_[connection.fd] = std::move(connection);
    }

    Connection* idleClient()
    {
        // The clients take turns: the one idle longest goes first.
        for (std::size_t i = 0; i < connections_.size(); ++i) {
            if (rotor_ == connections_.end())
                rotor_ = connections_.begin();
            Connection& c = (rotor_++)->second;
            if (c.kind == Connection::Client && !c.busy)
                return &c;
        }
        return nullptr;
    }

    bool busyClients() const
    {
        return std::any_of(connections_.begin(), connections_.end(), [](const auto& entry) {
            return entry.second.kind == Connection::Client && entry.second.busy;
        });
    }

    void wait(double ms)
    {
        epoll_event ready[128];
        const timespec timeout{static_cast<time_t>(ms / 1e3),
                               static_cast<long>(std::fmod(ms, 1e3) * 1e6)};
        const int n = epoll_pwait2(epoll_, ready, 128, &timeout, nullptr);
        for (int i = 0; i < n; ++i)
            readable(ready[i].data.fd);
        // A probe that waits longer than 5 s is a starved request.
        for (auto it = connections_.begin(); it != connections_.end();) {
            if (it->second.kind == Connection::Probe && steadyMs() - it->second.startedMs > 5000) {
                ++failedProbes_;
                close(it->first);
                it = connections_.erase(it);
                rotor_ = connections_.end();
            } else
                ++it;
        }
    }

    void readable(int fd)
    {
        auto found = connections_.find(fd);
        if (found == connections_.end())
            return;
        Connection& c = found->second;
        char buffer[65536];
        bool closed = false;
        for (;;) {
            const ssize_t n = benchsupport::readStamped(fd, buffer, sizeof buffer, c.arrivedMs);
            if (n > 0) {
                c.in.append(buffer, static_cast<std::size_t>(n));
            } else {
                closed = n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
                break;
            }
        }
        if (c.kind == Connection::Subscriber)
            events(c);
        else
            responses(c);
        if (!closed)
            return;
        if (c.kind == Connection::Client) {
            // The server ended a keep-alive connection: a new one takes its place.
            if (c.busy && window_)
                ++window_->failed;
            const int port = c.port;
            close(fd);
            connections_.erase(found);
            addClients(port, 1);
        } else {
            if (c.kind == Connection::Probe && c.busy)
                ++failedProbes_;
            close(fd);
            connections_.erase(found);
        }
        rotor_ = connections_.end();
    }

    void responses(Connection& c)
    {
        int status = 0;
        while (std::size_t length = responseLength(c.in, status)) {
            c.in.erase(0, length);
            const double latency = steadyMs() - c.startedMs;
            c.busy = false;
            if (c.kind == Connection::Probe) {
                if (status == 200)
                    probeMs_.push_back(latency);
                else
                    ++failedProbes_;
            } else if (window_) {
                if (status == 200) {
                    ++window_->completed;
                    window_->latencyMs.push_back(latency);
                } else
                    ++window_->failed;
            }
        }
    }

    void events(Connection& c)
    {
        if (!c.streaming) {
            const std::size_t head = c.in.find("\r\n\r\n");
            if (head == std::string::npos)
                return;
            if (std::atoi(c.in.c_str() + 9) != 200) {
                ++refusedSubscribers_;
                c.in.clear();
                return;
            }
            c.streaming = true;
            c.in.erase(0, head + 4);
        }
        static const std::string kStatus = "\nevent: status\ndata: ";
        for (;;) {
            const std::size_t at = c.in.find(kStatus);
            if (at == std::string::npos) {
                c.in.erase(0, c.in.size() > kStatus.size() ? c.in.size() - kStatus.size() : 0);
                return;
            }
            const std::size_t end = c.in.find('\n', at + kStatus.size());
            if (end == std::string::npos) {
                c.in.erase(0, at);
                return;
            }
            const nlohmann::json status =
                nlohmann::json::parse(c.in.begin() + static_cast<long>(at + kStatus.size()),
                                      c.in.begin() + static_cast<long>(end), nullptr, false);
            c.in.erase(0, end);
            if (!status.is_object() || status.value("line", "") != "up")
                continue;
            const std::uint64_t polls = status.value("polls", 0ULL);
            latestPoll_ = std::max(latestPoll_, polls);
            if (polls <= countAfter_)
                continue;
            PollSeen& seen = polls_[polls];
            seen.pollMs = isoMs(status.value("time", ""));
            const double delay = c.arrivedMs - seen.pollMs;
            ++seen.subscribers;
            seen.worstMs = std::max(seen.worstMs, delay);
            eventDelays_.push_back(delay);
        }
    }

    int epoll_;
    std::map<int, Connection> connections_;
    std::map<int, Connection>::iterator rotor_ = connections_.end();
    Window* window_ = nullptr;
    std::map<std::uint64_t, PollSeen> polls_;
    std::vector<double> eventDelays_;
    std::vector<double> probeMs_;
    int refusedSubscribers_ = 0;
    int failedProbes_ = 0;
    std::uint64_t countAfter_ = ~0ULL;
    std::uint64_t latestPoll_ = 0;
};

// One request on a fresh connection ("Connection: close"): its latency in ms, or -1 when no
// whole 200 answer came within 25 s.
double askOnce(int port, const std::string& path)
{
    const double start = steadyMs();
    const int fd = connectTo(port);
    sendAll(fd, "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    std::string in;
    char buffer[4096];
    int status = 0;
    pollfd ready{fd, POLLIN, 0};
    while (responseLength(in, status) == 0 && steadyMs() - start < 25000 &&
           poll(&ready, 1, 1000) >= 0) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n == 0 || (n < 0 && errno != EAGAIN))
            break;
        if (n > 0)
            in.append(buffer, static_cast<std::size_t>(n));
    }
    close(fd);
    return responseLength(in, status) > 0 && status == 200 ? steadyMs() - start : -1;
}

struct Crowd {
    std::vector<double> healthMs, statusMs;
    int unanswered = 0;
    int answeredSlow = 0;  // slow clients answered (408), each then connecting again
};

// `count` slow clients for `seconds`, and the probes meanwhile.
Crowd slowCrowd(int port, int count, double seconds)
{
    const std::string head = "GET /api/v1/status HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: ";
    std::vector<int> slow(static_cast<std::size_t>(count));
    for (int& fd : slow) {
        fd = connectTo(port);
        sendAll(fd, head);
    }
    Crowd crowd;
    std::atomic<bool> done = false;
    std::thread trickler([&] {
        while (!done) {
            for (int i = 0; i < 20 && !done; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            for (int& fd : slow) {
                char buffer[1024];
                const ssize_t n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
                if (n >= 0) {  // answered or closed: a new connection takes its place
                    close(fd);
                    fd = connectTo(port);
                    sendAll(fd, head);
                    ++crowd.answeredSlow;
                } else
                    send(fd, "x", 1, MSG_NOSIGNAL | MSG_DONTWAIT);
            }
        }
    });
    for (const double end = steadyMs() + seconds * 1000; steadyMs() < end;) {
        for (auto [path, times] : {std::pair{"/healthz", &crowd.healthMs},
                                   std::pair{"/api/v1/status", &crowd.statusMs}}) {
            const double ms = askOnce(port, path);
            if (ms < 0)
                ++crowd.unanswered;
            else
                times->push_back(ms);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    done = true;
    trickler.join();
    for (const int fd : slow)
        close(fd);
    return crowd;
}

// The service's status body, for the size of the minimal server's fixed answer.
std::size_t statusSize(int port)
{
    const int fd = connectTo(port);
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    sendAll(fd, "GET /api/v1/status HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    std::string in;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        in.append(buffer, static_cast<std::size_t>(n));
    close(fd);
    const std::size_t head = in.find("\r\n\r\n");
    return head == std::string::npos ? 0 : in.size() - head - 4;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<int> rates = benchsupport::intOptions(argc, argv, "--rate");
    if (rates.empty())
        rates = {4000, 8000, 16000, 24000, 32000, 48000};
    const double stepSeconds = benchsupport::intOption(argc, argv, "--step-seconds", 3);
    const int load = benchsupport::intOption(argc, argv, "--load", 8000);
    const double seconds = benchsupport::intOption(argc, argv, "--seconds", 30);
    const int crowdSize = benchsupport::intOption(argc, argv, "--crowd", 400);
    const double crowdSeconds = benchsupport::intOption(argc, argv, "--crowd-seconds", 20);
    std::signal(SIGPIPE, SIG_IGN);

    benchsupport::PrivateHome home;
    home.setStatusFrequency(1000);
    Child service = startChild({GC6890_BENCH_HOST, "serve", "--listen", "127.0.0.1:0", "--port",
                                "sim", "--name", "bench"});
    std::printf("bench_service: load average %s; service pid %d on port %d, 1 s poll on the "
                "built-in simulator\n",
                benchsupport::loadAverage().c_str(), service.pid, service.port);
    // The first polls (the first one reads the configuration) before anything is measured.
    Generator generator;
    generator.addSubscribers(service.port, 1);
    generator.countPollsAfter(0);
    for (const double end = steadyMs() + 15000; generator.latestPoll() < 3 && steadyMs() < end;)
        generator.listen(100);
    if (generator.latestPoll() < 3)
        die("the service did not poll");
    generator.closeAll(Connection::Subscriber);
    const std::size_t size = statusSize(service.port);
    Child minimal = startChild({GC6890_BENCH_HTTPD, std::to_string(size)});
    std::printf("minimal server pid %d on port %d, a fixed body of %zu bytes (the service's "
                "status)\n",
                minimal.pid, minimal.port, size);
    pinToLastCore();

    // 1. The request rate, step by step, the two servers taking turns.
    Generator toService, toMinimal;
    toService.addClients(service.port, kClients);
    toMinimal.addClients(minimal.port, kClients);
    toMinimal.run(2000, 1);
    toService.run(2000, 1);
    std::printf("\n%d keep-alive clients, GET /api/v1/status, %.0f s a step\n", kClients,
                stepSeconds);
    std::printf("| offered/s | minimal: served/s | p50 ms | p99 ms | service: served/s | p50 ms "
                "| p99 ms | ratio |\n|---|---|---|---|---|---|---|---|\n");
    double bestMinimal = 0, bestService = 0;
    for (const int rate : rates) {
        const Window m = toMinimal.run(rate, stepSeconds);
        const Window s = toService.run(rate, stepSeconds);
        bestMinimal = std::max(bestMinimal, m.rate());
        bestService = std::max(bestService, s.rate());
        std::printf("| %d | %.0f | %.2f | %.2f | %.0f | %.2f | %.2f | %.2f |\n", rate, m.rate(),
                    percentile(m.latencyMs, 50), percentile(m.latencyMs, 99), s.rate(),
                    percentile(s.latencyMs, 50), percentile(s.latencyMs, 99), s.rate() / m.rate());
        if (m.failed || s.failed)
            std::printf("  (failed requests: minimal %zu, service %zu)\n", m.failed, s.failed);
    }
    std::printf("highest rate served: minimal %.0f/s, service %.0f/s: %.2f of it (goal >= 0.8: "
                "%s)\n",
                bestMinimal, bestService, bestService / bestMinimal,
                bestService >= 0.8 * bestMinimal ? "met" : "MISSED");
    toMinimal.closeAll(Connection::Client);
    stopChild(minimal);

    // 2. 64 subscribers while the clients ask at a fixed rate.
    const std::string rssBefore = procStatus(service.pid, "VmRSS:");
    toService.addSubscribers(service.port, kSubscribers);
    toService.listen(1500);
    Generator extra;
    extra.addSubscribers(service.port, 1);
    extra.listen(500);
    toService.countPollsAfter(toService.latestPoll());
    const Window loaded = toService.run(load, seconds, service.port);
    const std::string rss = procStatus(service.pid, "VmRSS:");
    const std::string peak = procStatus(service.pid, "VmHWM:");
    const std::string threads = procStatus(service.pid, "Threads:");

    std::printf("\n%d subscribers, %d clients at %d requests/s, %.0f s\n", kSubscribers, kClients,
                load, seconds);
    std::printf("requests: %.0f/s served, p50 %.2f ms, p99 %.2f ms, %zu failed\n", loaded.rate(),
                percentile(loaded.latencyMs, 50), percentile(loaded.latencyMs, 99), loaded.failed);
    std::printf("65th subscriber: %s\n",
                extra.refusedSubscribers() == 1 ? "turned away (503)" : "NOT turned away");
    const std::vector<double>& probes = toService.probeMs();
    std::printf("a fresh client once a second: %zu answered, p50 %.2f ms, max %.2f ms, %d not "
                "answered within 5 s\n",
                probes.size(), percentile(probes, 50), percentile(probes, 100),
                toService.failedProbes());

    // Every poll of the window, as the subscribers saw it.
    std::vector<double> periods;
    int incomplete = 0, late = 0;
    const PollSeen* previous = nullptr;
    std::uint64_t previousPoll = 0;
    for (const auto& [poll, seen] : toService.polls()) {
        if (seen.subscribers != kSubscribers)
            ++incomplete;
        if (seen.worstMs > 50) {
            ++late;
            std::printf("  poll %llu: its status reached the last subscriber after %.1f ms\n",
                        static_cast<unsigned long long>(poll), seen.worstMs);
        }
        if (previous && poll == previousPoll + 1)
            periods.push_back(seen.pollMs - previous->pollMs);
        previous = &seen;
        previousPoll = poll;
    }
    const std::vector<double>& delays = toService.eventDelays();
    std::printf("status events: %zu polls, %zu deliveries; poll to subscriber p50 %.2f ms, p99 "
                "%.2f ms, max %.2f ms; polls not at all %d subscribers: %d; polls late (> 50 "
                "ms) at any: %d (goal: none: %s)\n",
                toService.polls().size(), delays.size(), percentile(delays, 50),
                percentile(delays, 99), percentile(delays, 100), kSubscribers, incomplete, late,
                late == 0 && incomplete == 0 ? "met" : "MISSED");
    const double p99 = percentile(periods, 99);
    std::printf("poll period: p50 %.0f ms, p99 %.0f ms, max %.0f ms over %zu periods (goal p99 "
                "within 5 %% of 1000 ms: %s)\n",
                percentile(periods, 50), p99, percentile(periods, 100), periods.size(),
                std::abs(p99 - 1000) <= 50 ? "met" : "MISSED");
    std::printf("service memory: VmRSS %s before the subscribers, %s with %d subscribers (peak "
                "%s), %s threads\n",
                rssBefore.c_str(), rss.c_str(), kSubscribers, peak.c_str(), threads.c_str());

    toService.closeAll(Connection::Subscriber);
    toService.closeAll(Connection::Client);
    extra.closeAll(Connection::Subscriber);

    // 3. Slow clients by the hundred.
    const Crowd crowd = slowCrowd(service.port, crowdSize, crowdSeconds);
    std::printf("\n%d clients trickling their headers, a byte every 2 s, %.0f s\n", crowdSize,
                crowdSeconds);
    std::printf("| probe | answered | p50 ms | p99 ms | max ms |\n|---|---|---|---|---|\n");
    for (auto [path, times] :
         {std::pair{"/healthz", &crowd.healthMs}, std::pair{"/api/v1/status", &crowd.statusMs}})
        std::printf("| %s | %zu | %.2f | %.2f | %.2f |\n", path, times->size(),
                    percentile(*times, 50), percentile(*times, 99), percentile(*times, 100));
    std::printf("probes not answered within 25 s: %d (goal: none: %s); slow clients answered "
                "408 and replaced: %d\n",
                crowd.unanswered, crowd.unanswered == 0 ? "met" : "MISSED", crowd.answeredSlow);
    stopChild(service);
    return 0;
}
