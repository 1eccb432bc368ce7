// The pieces of the service's HTTP side, in process: the route table's containment of
// exceptions, a connection's deadlines, the waiting room of the server, and the limiter of
// notices anyone can cause.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "mqtt_broker.h"
#include "service/http_api.h"
#include "service/http_connection.h"
#include "service/http_server.h"
#include "service/instrument_thread.h"
#include "service/notice_limiter.h"
#include "service/route_table.h"
#include "service/sila/sila_certificates.h"
#include "service/sila/sila_home.h"
#include "support/simulator_program.h"
#include "support/temp_home.h"

namespace gc6890 {
namespace {

using namespace std::chrono_literals;

TEST(RouteTable, NoExceptionLeavesAHandlerTheGateOrTheErrorAnswer)
{
    RouteTable table;
    table.get("/fine", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("{}", "application/json");
    });
    table.get("/throws", [](const httplib::Request&, httplib::Response& res) {
        res.set_header("X-Half", "built");
        throw std::runtime_error("planted");
    });
    table.get("/throws-anything", [](const httplib::Request&, httplib::Response&) { throw 7; });
    table.get("/gate-throws", [](const httplib::Request&, httplib::Response&) {});
    table.get("/missing-body",
              [](const httplib::Request&, httplib::Response& res) { res.status = 418; });
    table.gate([](const httplib::Request& req, httplib::Response&) {
        if (req.path == "/gate-throws")
            throw std::runtime_error("gate");
        return false;
    });
    table.onError([](const httplib::Request& req, httplib::Response& res) {
        if (res.status == 418)
            throw std::logic_error("the error answer itself");
        res.set_content("{\"error\":\"" + req.path + "\"}", "application/json");
    });
    // The service's exception answer: JSON naming the exception; one that throws in turn
    // for anything but a std::exception.
    table.onException([](const httplib::Request&, httplib::Response& res, std::exception_ptr e) {
        try {
            std::rethrow_exception(e);
        } catch (const std::exception& error) {
            res.status = 500;
            res.set_content(nlohmann::json{{"error", error.what()}}.dump(), "application/json");
        }
    });
    table.onAnswer(
        [](const httplib::Request&, httplib::Response& res) { res.set_header("X-Seen", "yes"); });
    const struct {
        const char* path;
        int status;
        const char* error;
    } rows[] = {
        {"/fine", 200, nullptr},
        {"/throws", 500, "planted"},
        {"/throws-anything", 500, "internal error"},
        {"/gate-throws", 500, "gate"},
        {"/missing-body", 500, "the error answer itself"},
        {"/nowhere", 404, "/nowhere"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        httplib::Request req;
        req.method = "GET";
        req.path = row.path;
        httplib::Response res;
        EXPECT_NO_THROW(table.dispatch(req, res));
        EXPECT_EQ(res.status, row.status);
        EXPECT_FALSE(res.has_header("X-Half"));
        EXPECT_EQ(res.get_header_value("X-Seen"), "yes");
        if (row.error) {
            EXPECT_EQ(nlohmann::json::parse(res.body).value("error", ""), row.error) << res.body;
        }
    }
}

// "GET /api/v1/jobs/{}" for each route: a pattern's groups become "{}", except a group of
// plain words ("(pause|resume)"), which makes a route of each.
std::set<std::string> routesOf(const RouteTable& table)
{
    std::set<std::string> routes;
    const std::regex words(R"(\(([A-Za-z|]+)\))"), group(R"(\([^)]*\))");
    for (const RouteTable::Route& route : table.routes()) {
        std::vector<std::string> paths = {route.pattern};
        for (std::smatch found; std::regex_search(paths.front(), found, words);) {
            const std::string whole = found[0], alternatives = found[1];
            std::vector<std::string> expanded;
            for (const std::string& path : paths) {
                std::stringstream list(alternatives);
                for (std::string word; std::getline(list, word, '|');)
                    expanded.push_back(
                        std::string(path).replace(path.find(whole), whole.size(), word));
            }
            paths = expanded;
        }
        for (const std::string& path : paths)
            routes.insert(route.method + " " + std::regex_replace(path, group, "{}"));
    }
    return routes;
}

TEST(HttpApiRoutes, AreTheOnesTheApiDescriptionNames)
{
    test::TempHome home;
    ServiceState state{ServiceOptions{}};
    InstrumentThread instrument(state);
    instrument.stop();
    const HttpApi api(state, instrument, MethodStore(home.path()), "");
    std::ifstream file(GC6890_SOURCE_DIR "/docs/openapi.json");
    const nlohmann::json description = nlohmann::json::parse(file);
    std::set<std::string> described;
    for (const auto& [path, operations] : description["paths"].items()) {
        const std::string plain = std::regex_replace(path, std::regex(R"(\{[^}]*\})"), "{}");
        for (const auto& [method, name] :
             {std::pair("get", "GET"), std::pair("post", "POST"), std::pair("delete", "DELETE")})
            if (operations.contains(method))
                described.insert(name + (" " + plain));
    }
    EXPECT_EQ(routesOf(api.routes()), described);
}

class ConnectionDeadline : public ::testing::Test {
protected:
    ConnectionDeadline()
    {
        int pair[2];
        socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair);
        peer = pair[1];
        // One read or write waits 150 ms at most; a stretch lasts 500 ms.
        connection = std::make_unique<HttpConnection>(pair[0], HttpConnection::Timing{150, 500});
        connection->beginRequest();
    }
    ~ConnectionDeadline() override { close(peer); }
    // Reads until a read fails; how long that took (ms).
    long readUntilFailure()
    {
        const auto start = std::chrono::steady_clock::now();
        char c;
        while (connection->read(&c, 1) > 0) {
        }
        return (std::chrono::steady_clock::now() - start) / 1ms;
    }
    int peer = -1;
    std::unique_ptr<HttpConnection> connection;
};

TEST_F(ConnectionDeadline, ATrickledRequestIsCutAtTheDeadlineNotBeforeOrNever)
{
    std::thread trickler([&] {
        for (int i = 0; i < 8 && ::send(peer, "x", 1, MSG_NOSIGNAL) == 1; ++i)
            std::this_thread::sleep_for(75ms);
    });
    const long ms = readUntilFailure();
    trickler.join();
    EXPECT_TRUE(connection->cut());
    EXPECT_GE(ms, 450);
    EXPECT_LE(ms, 800);
}

TEST_F(ConnectionDeadline, ASilentClientMeetsTheTimeOutOfOneRead)
{
    const long ms = readUntilFailure();
    EXPECT_GE(ms, 140);
    EXPECT_LE(ms, 450);
    EXPECT_FALSE(connection->cut());
}

TEST_F(ConnectionDeadline, TheAnswerHasAStretchOfItsOwnAndAStreamNone)
{
    std::this_thread::sleep_for(400ms);
    EXPECT_EQ(connection->write("a", 1), 1);  // the answer starts: a stretch of its own
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(connection->write("b", 1), 1);
    EXPECT_FALSE(connection->cut());
    connection->exempt();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(connection->write("c", 1), 1);
    EXPECT_EQ(connection->answered(), 3u);
    EXPECT_FALSE(connection->cut());
}

// Clients that send part of a request head, or of a TLS handshake, and no more wait in the
// server's waiting room, never on a thread: with one pool thread, whole requests are
// answered meanwhile. A head that does not come whole within its deadline is answered 408
// and counted as cut; a handshake never ended is closed at the first-byte deadline; no
// descriptor is left open.
TEST(HttpServerRoom, StalledClientsHoldNoThreadAndAreCutAtTheirDeadline)
{
    std::signal(SIGPIPE, SIG_IGN);  // OpenSSL's alert to a client gone
    test::TempHome home;
    sila::ownTlsIdentity(home.path() + "/tls", "127.0.0.1", sila::randomUuid());
    for (const bool tls : {false, true}) {
        SCOPED_TRACE(tls ? "HTTPS" : "HTTP");
        const int descriptors = test::openDescriptorCount();
        std::atomic<int> cut = 0;
        HttpServer::Hooks hooks;
        hooks.cut = [&](const std::string&, const std::string&) { ++cut; };
        HttpServer server({.threads = 1,
                           .maxWaiting = 64,
                           .maxReady = 8,
                           .firstByteMs = 400,
                           .headMs = 400,
                           .timing = {2000, 5000},
                           .keepAliveRequests = 10,
                           .lingerMs = 0},
                          hooks);
        if (tls)
            server.useTls(std::make_unique<TlsContext>(home.path() + "/tls/server.pem",
                                                       home.path() + "/tls/server-key.pem"));
        server.Get("/", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("{}", "application/json");
        });
        const int port = server.bind_to_any_port("127.0.0.1");
        std::thread serving([&] { server.listen_after_bind(); });
        // Part of a head; for TLS, a record header announcing a ClientHello and 3 bytes of it.
        const std::string part = tls ? std::string("\x16\x03\x01\x02\x00\x01\x00\x01", 8)
                                     : "GET / HTTP/1.1\r\nHost: x\r\n";
        std::vector<int> stalled;
        for (int i = 0; i < 8; ++i) {
            stalled.push_back(servicetest::connectLoopback(port));
            EXPECT_EQ(::send(stalled.back(), part.data(), part.size(), MSG_NOSIGNAL),
                      static_cast<ssize_t>(part.size()));
        }
        {
            httplib::Client client((tls ? "https://127.0.0.1:" : "http://127.0.0.1:") +
                                   std::to_string(port));
            client.set_ca_cert_path(home.path() + "/tls/ca.pem");
            client.set_read_timeout(1, 0);
            for (int i = 0; i < 3; ++i) {
                const httplib::Result answer = client.Get("/");
                EXPECT_TRUE(answer && answer->status == 200) << i;
            }
        }
        // Each stalled client's answer: "HTTP/1.1 408" for a head, nothing for a handshake.
        int closed = 0;
        for (const int fd : stalled) {
            char answer[13] = {};
            pollfd ready{fd, POLLIN, 0};
            if (::poll(&ready, 1, 3000) == 1)
                closed += tls ? ::recv(fd, answer, 1, 0) <= 0
                              : ::recv(fd, answer, 12, MSG_WAITALL) == 12 &&
                                    std::string(answer) == "HTTP/1.1 408";
            ::close(fd);
        }
        EXPECT_EQ(closed, 8);
        EXPECT_EQ(cut, tls ? 0 : 8);
        server.stop();
        serving.join();
        EXPECT_EQ(test::openDescriptorCount(), descriptors);
    }
}

TEST(NoticeLimiter, TheFirstNoticeGoesOutAtOnceAndTheRestAsOneSummary)
{
    std::vector<std::string> written;
    std::mutex mutex;
    {
        NoticeLimiter limiter(
            [&](const std::string& text) {
                std::lock_guard lock(mutex);
                written.push_back(text);
            },
            200, 2);
        for (int i = 0; i < 100; ++i)
            limiter.note("refused requests", "10.0.0.1", "refused " + std::to_string(i));
        limiter.note("refused requests", "10.0.0.2", "refused b");
        limiter.note("cut clients", "10.0.0.1", "cut c");  // past the bound of 2 windows
        limiter.note("cut clients", "10.0.0.3", "cut d");  // shares the window above
        {
            std::lock_guard lock(mutex);
            EXPECT_EQ(written, (std::vector<std::string>{"refused 0", "refused b", "cut c"}));
        }
        std::this_thread::sleep_for(400ms);
        limiter.note("refused requests", "10.0.0.1", "refused again");
    }
    EXPECT_EQ(written,
              (std::vector<std::string>{
                  "refused 0", "refused b", "cut c",
                  "1 more cut clients from other addresses in 0.2 s, the latest: cut d",
                  "99 more refused requests from 10.0.0.1 in 0.2 s, the latest: refused 99",
                  "refused again"}));
}

}  // namespace
}  // namespace gc6890
