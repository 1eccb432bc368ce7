// The service under load and abuse, over real HTTP on loopback: hostile requests (their
// refusals logged once, not one by one), a client too slow to finish its head, a crowd
// asking at once, and every event subscriber slot taken by clients that never read. Each is
// answered, and the instrument thread and the other clients go on regardless. (Many slow
// clients holding no thread is the waiting room's test, in process: http_pieces_test.cpp.)
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
using nlohmann::json;

// A raw connection, for clients that no HTTP library would be.
class RawClient {
public:
    // Unconnected (-1), every send fails. With `receiveBuffer`, the socket's receive buffer
    // is that small (so that the window it offers is small too).
    explicit RawClient(int port, int receiveBuffer = 0) : fd_(connectLoopback(port, receiveBuffer))
    {}
    ~RawClient() { close(fd_); }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool send(const std::string& bytes)
    {
        return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(bytes.size());
    }
    // Sends `request`; the answer arriving within `ms`: its head up to the blank line, then
    // as much of its body as Content-Length says. "" when the request could not be sent,
    // nothing arrived or the connection closed first.
    std::string ask(const std::string& request, int ms = 5000)
    {
        return send(request) ? answer(ms) : std::string();
    }
    std::string answer(int ms = 5000)
    {
        std::string text;
        std::size_t whole = std::string::npos;
        pollfd ready{fd_, POLLIN, 0};
        char c = 0;
        while (text.size() != whole && poll(&ready, 1, ms) == 1 && read(fd_, &c, 1) == 1) {
            text += c;
            if (whole == std::string::npos && text.ends_with("\r\n\r\n")) {
                const std::size_t length = text.find("Content-Length: ");
                whole = text.size() +
                        (length == std::string::npos ? 0 : std::atoi(text.c_str() + length + 16));
            }
        }
        return text;
    }

private:
    const int fd_;
};

// "HTTP/1.1 404 Not Found..." is 404; 0 for no answer.
int statusOf(const std::string& answer)
{
    return answer.rfind("HTTP/1.", 0) == 0 ? std::atoi(answer.c_str() + 9) : 0;
}

json bodyOf(const std::string& answer)
{
    const std::size_t head = answer.find("\r\n\r\n");
    return json::parse(head == std::string::npos ? "" : answer.substr(head + 4), nullptr, false);
}

bool statusAnswers(const ServiceProcess& service)
{
    const httplib::Result result = service.client().Get("/api/v1/status");
    return result && result->status == 200;
}

class ServiceAbuseTest : public ServiceFixture {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(startSim());
        ASSERT_TRUE(service.start(link, {"--allow-host", "gc1.lab.example"}));
        host = "Host: 127.0.0.1:" + std::to_string(service.port()) + "\r\n";
    }
    std::string metrics() const { return service.client().Get("/metrics")->body; }
    std::string host;
};

TEST_F(ServiceAbuseTest, EveryHostileRequestIsAnsweredCountedAndLoggedOnceAndTheServiceServesOn)
{
    // A head that never comes whole is cut at its deadline (5 s), while the rest goes on.
    RawClient slow(service.port());
    ASSERT_TRUE(slow.send("GET /api/v1/status HTTP/1.1\r\n" + host));
    upload("short", method(0.5));
    EventReader events(service.port(), 0);
    const std::string token = "Authorization: Bearer " + service.token() + "\r\n";
    const auto post = [&](const std::string& path, const std::string& body,
                          const std::string& auth) {
        return "POST " + path + " HTTP/1.1\r\n" + host + auth +
               "Content-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
               "\r\n\r\n" + body;
    };
    const auto get = [&](const std::string& path, const std::string& headers) {
        return "GET " + path + " HTTP/1.1\r\n" + headers + "\r\n";
    };
    const struct {
        const char* what;
        std::string request;
        int status;
    } rows[] = {
        // The first refusal: the only one logged at once, the others waiting for the summary.
        {"a path that forges a log line", post("/api/v1/x%0Agc6890%20serve:%20stopped", "", ""),
         401},
        {"a path that is not UTF-8", get("/x%C3%28", host), 404},
        {"the same posted without the token", post("/x%C3%28", "", ""), 401},
        {"a vial past a double's range",
         post("/api/v1/run", R"({"method":"short","vial":1e400})", token), 400},
        {"a volume past a double's range",
         post("/api/v1/run", R"({"method":"short","vial":1,"volume":1e400})", token), 400},
        {"a record volume past a double's range",
         get("/api/v1/methods/short/record?volume=1e400", host), 400},
        {"a stranger's Host (a renamed address)", get("/api/v1/status", "Host: evil.example\r\n"),
         403},
        {"localhost", get("/api/v1/status", "Host: localhost:1\r\n"), 200},
        {"a proxy's name given with --allow-host", get("/healthz", "Host: GC1.lab.example\r\n"),
         200},
        {"no Host at all", "GET /healthz HTTP/1.0\r\n\r\n", 200},
        {"a head past 16 KiB", get("/api/v1/status", host + "X-Big: " + std::string(20000, 'x')),
         431},
        {"nonsense", "BLAH\r\n\r\n", 400},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const std::string answer = RawClient(service.port()).ask(row.request);
        EXPECT_EQ(statusOf(answer), row.status) << answer.substr(0, 300);
        EXPECT_NE(answer.find("X-Content-Type-Options: nosniff"), std::string::npos);
        if (row.status != 200) {
            EXPECT_TRUE(bodyOf(answer).contains("error")) << answer.substr(0, 300);
        }
    }
    EXPECT_GE(metric(metrics(), "gc6890_connections_waiting"), 1);  // the slow client
    // The dashboard's page is sent with its policy.
    const httplib::Result page = service.client().Get("/");
    ASSERT_TRUE(page);
    EXPECT_NE(page->get_header_value("Content-Security-Policy").find("script-src 'self'"),
              std::string::npos);
    EXPECT_EQ(page->get_header_value("X-Frame-Options"), "DENY");

    // 200 clients at once are served side by side.
    std::atomic<int> served{0};
    std::vector<std::thread> clients;
    for (int i = 0; i < 200; ++i)
        clients.emplace_back([&] { served += statusAnswers(service); });
    for (std::thread& client : clients)
        client.join();
    EXPECT_EQ(served, 200);
    EXPECT_EQ(statusOf(slow.answer(10000)), 408);
    const std::string counted = metrics();
    EXPECT_EQ(metric(counted, "gc6890_requests_cut_total"), 1);
    EXPECT_EQ(metric(counted, "gc6890_requests_failed_total"), 0);
    EXPECT_EQ(metric(counted, "gc6890_requests_wrong_host_total"), 1);
    EXPECT_EQ(metric(counted, "gc6890_unauthorized_total"), 2);
    // Of the three refusals one is logged at once, with the line feed it carried written
    // out; the others wait for the interval's summary.
    const auto refusal = [](const Event& e) {
        return e.name == "log" && e.data.value("text", "").find("refused") == 0;
    };
    ASSERT_TRUE(events.waitFor(refusal, 5000));
    std::this_thread::sleep_for(500ms);
    const std::vector<Event> logged = events.waitForCount(refusal, 2, 0);
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_NE(logged[0].data.value("text", "").find("/api/v1/x\\x0Agc6890 serve: stopped"),
              std::string::npos)
        << logged[0].data.dump();
}

TEST_F(ServiceAbuseTest, SubscribersThatNeverReadAreCutAndTheirSlotsFreed)
{
    // Each offers a window of a few KiB and never reads: the events soon wait unsent.
    const std::string subscribe = "GET /api/v1/events HTTP/1.1\r\n" + host + "\r\n";
    std::vector<std::unique_ptr<RawClient>> subscribers;
    for (int i = 0; i < 64; ++i) {
        subscribers.push_back(std::make_unique<RawClient>(service.port(), 2048));
        ASSERT_TRUE(subscribers.back()->send(subscribe)) << i;
    }
    // The 65th is turned away while they hold every slot; requests still go through.
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(statusOf(RawClient(service.port()).ask(subscribe)), 503);
    for (int i = 0; i < 20; ++i)
        EXPECT_TRUE(statusAnswers(service)) << i;
    // A few seconds after their windows closed they are cut, and a subscriber gets in.
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    int status = 0;
    while (status != 200 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(500ms);
        status = statusOf(RawClient(service.port()).ask(subscribe));
    }
    EXPECT_EQ(status, 200);
    EXPECT_GE(metric(metrics(), "gc6890_events_dropped_subscribers_total"), 1);
}

}  // namespace
}  // namespace gc6890::servicetest
