// The service under load and abuse: every event subscriber slot taken, many clients at
// once, clients that send too slowly, too much or nonsense. The instrument thread and the
// other clients go on regardless.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "mqtt_broker.h"
#include "service_fixture.h"

namespace gc6890::servicetest {
namespace {

using namespace std::chrono_literals;

// A raw connection, for clients that no HTTP library would be.
class RawClient {
public:
    // Unconnected (-1), every send fails.
    explicit RawClient(int port) : fd_(connectLoopback(port)) {}
    ~RawClient() { close(fd_); }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool send(const std::string& bytes)
    {
        return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(bytes.size());
    }
    // Sends `request`; the head of the answer arriving within `ms` (up to the first blank
    // line): "" when the request could not be sent, nothing arrived or the connection closed.
    std::string ask(const std::string& request, int ms = 5000)
    {
        std::string text;
        if (!send(request))
            return text;
        pollfd ready{fd_, POLLIN, 0};
        char c = 0;
        while (text.find("\r\n\r\n") == std::string::npos && poll(&ready, 1, ms) == 1 &&
               read(fd_, &c, 1) == 1)
            text += c;
        return text;
    }
    // How long (ms) until the service closed the connection, -1 when it was still open after
    // `ms`; with `trickleMs`, one more header byte is sent every `trickleMs` meanwhile.
    int closedAfter(int ms, int trickleMs = 0)
    {
        const auto start = std::chrono::steady_clock::now();
        const auto elapsed = [&] {
            return static_cast<int>((std::chrono::steady_clock::now() - start) / 1ms);
        };
        pollfd ready{fd_, POLLIN, 0};
        char buffer[4096];
        while (elapsed() < ms) {
            const bool closed = poll(&ready, 1, trickleMs ? trickleMs : 100) == 1 &&
                                read(fd_, buffer, sizeof buffer) <= 0;
            if (closed || (trickleMs && !send("x")))
                return elapsed();
        }
        return -1;
    }

private:
    int fd_ = -1;
};

bool statusAnswers(const ServiceProcess& service)
{
    const httplib::Result result = service.client().Get("/api/v1/status");
    return result && result->status == 200;
}

using ServiceAbuseTest = StartedService;

TEST_F(ServiceAbuseTest, SixtyFourSubscribersThenRefusalAndRequestsStillServed)
{
    const std::string subscribe = "GET /api/v1/events HTTP/1.1\r\nHost: gc\r\n\r\n";
    std::vector<std::unique_ptr<RawClient>> subscribers;
    for (int i = 0; i < 64; ++i) {
        subscribers.push_back(std::make_unique<RawClient>(service.port()));
        ASSERT_NE(subscribers.back()->ask(subscribe).find(" 200 "), std::string::npos) << i;
    }
    EXPECT_NE(RawClient(service.port()).ask(subscribe).find(" 503 "), std::string::npos);
    // The subscribers (none of them reading) hold their threads; requests still go through.
    for (int i = 0; i < 20; ++i)
        EXPECT_TRUE(statusAnswers(service)) << i;
    // A subscriber that leaves frees its slot at the next event written to it.
    subscribers.pop_back();
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    std::string head;
    while (head.find(" 200 ") == std::string::npos && std::chrono::steady_clock::now() < deadline)
        head = RawClient(service.port()).ask(subscribe);
    EXPECT_NE(head.find(" 200 "), std::string::npos) << head;
}

TEST_F(ServiceAbuseTest, ManyClientsSlowOnesAndNonsenseLeaveTheServiceServing)
{
    // A client that trickles its headers, a byte every 500 ms, never waits long enough for
    // the library's read time-out: the service's own deadline (20 s) cuts it.
    int trickleMs = 0;
    std::thread trickler([&] {
        RawClient trickle(service.port());
        trickle.send("GET /api/v1/status HTTP/1.1\r\nX-Slow: ");
        trickleMs = trickle.closedAfter(40000, 500);
    });

    std::atomic<int> answered{0};
    std::vector<std::thread> clients;
    for (int i = 0; i < 200; ++i)
        clients.emplace_back([&] { answered += statusAnswers(service); });
    for (std::thread& client : clients)
        client.join();
    EXPECT_EQ(answered, 200);

    // A client that stops in the middle of its headers is answered 400 at the read time-out
    // (5 s) and cut when the keep-alive wait for its next request ends (2 s later).
    RawClient slow(service.port());
    ASSERT_TRUE(slow.send("GET /api/v1/status HTTP/1.1\r\nHost: gc\r\n"));
    // Nonsense, and headers past the limit, are refused.
    EXPECT_NE(RawClient(service.port()).ask("BLAH\r\n\r\n").find(" 400 "), std::string::npos);
    const std::string huge = "X-Big: " + std::string(16384, 'x') + "\r\n\r\n";
    EXPECT_EQ(RawClient(service.port()).ask("GET /api/v1/status HTTP/1.1\r\n" + huge).find(" 200 "),
              std::string::npos);
    EXPECT_TRUE(statusAnswers(service));
    EXPECT_GE(slow.closedAfter(10000), 0);

    trickler.join();
    EXPECT_GE(trickleMs, 15000);  // not the read time-out
    EXPECT_LE(trickleMs, 25000);
    EXPECT_EQ(service.get("/api/v1/status")["line"], "up");
    EXPECT_EQ(metric(service.client().Get("/metrics")->body, "gc6890_requests_cut_total"), 1);
}

}  // namespace
}  // namespace gc6890::servicetest
