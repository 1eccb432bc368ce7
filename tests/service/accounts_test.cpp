// Accounts and roles: `gc6890 user` and its file, each role at each route of the HTTP door
// of a running service (the event stream among them), and reads beyond loopback.
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "audit/sha256.h"
#include "service/account_file.h"
#include "service/http_api.h"
#include "service/instrument_thread.h"
#include "service/route_table.h"
#include "service_fixture.h"

namespace gc6890::servicetest {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;

class UserCommands : public hosttest::HomeTest {};

TEST_F(UserCommands, KeepOnlyTheTokensHashInAFileOfTheUserAlone)
{
    const hosttest::ProgramResult made = run({"user", "add", "ana", "--role", "operator"});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    const std::string token = lastWord(made.out);
    EXPECT_GE(token.size(), 32u) << made.out;
    struct stat info {};
    ASSERT_EQ(stat((home.path() + "/users.json").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    const std::string file = home.read("users.json");
    EXPECT_EQ(file.find(token), std::string::npos);
    EXPECT_NE(file.find(sha256Hex(token)), std::string::npos);

    const hosttest::ProgramResult rotated = run({"user", "rotate", "ana"});
    ASSERT_EQ(rotated.exitCode, 0) << rotated.err;
    EXPECT_NE(lastWord(rotated.out), token);
    EXPECT_NE(home.read("users.json").find(sha256Hex(lastWord(rotated.out))), std::string::npos);
    EXPECT_THAT(run({"user", "list"}).out, hosttest::holdsAll({"ana", "operator", "never"}));

    EXPECT_TRUE(hosttest::exited(run({"user", "add", "ana", "--role", "admin"}), 1, "already"));
    EXPECT_TRUE(hosttest::exited(run({"user", "add", "bo", "--role", "boss"}), 2, "--role"));
    EXPECT_TRUE(
        hosttest::exited(run({"user", "add", "service", "--role", "admin"}), 2, "service token"));
    ASSERT_EQ(run({"user", "remove", "ana"}).exitCode, 0);
    EXPECT_TRUE(hosttest::exited(run({"user", "remove", "ana"}), 1, "no account ana"));
    EXPECT_EQ(run({"user", "list"}).out.find("ana"), std::string::npos);

    // Each change, and each refused one, is in the audit trail at the "accounts" door.
    std::vector<std::string> trail;
    for (const nlohmann::json& line : auditLines(home.path()))
        if (line.value("door", "") == "accounts")
            trail.push_back(line["action"].get<std::string>() + " " +
                            line["params"].value("account", "") + " " +
                            line["result"].get<std::string>().substr(0, 6));
    EXPECT_EQ(trail, (std::vector<std::string>{"user-add ana ok", "user-rotate ana ok",
                                               "user-add ana failed", "user-remove ana ok",
                                               "user-remove ana failed"}));
}

class AccountsAtTheHttpDoor : public ServiceFixture {
protected:
    // The status of `method` `path` with `token` ("" for none).
    int status(const std::string& method, const std::string& path, const std::string& body,
               const std::string& token)
    {
        return service.ask(method, path, body, ServiceProcess::bearer(token)).first;
    }
    json whoami(const std::string& token)
    {
        const httplib::Result result =
            service.client().Get("/api/v1/whoami", {{"Authorization", "Bearer " + token}});
        return result ? json::parse(result->body, nullptr, false) : json();
    }
};

TEST_F(AccountsAtTheHttpDoor, EachRoleAtEachRouteAndARemovedTokenRefusedWithinASecond)
{
    ASSERT_TRUE(startSim());
    // A home from before accounts: the service token alone, the admin "service".
    ASSERT_TRUE(service.start(link));
    upload("short", method(0.5));
    upload("spare", method(0.5));
    EXPECT_EQ(whoami(service.token()), json({{"name", "service"}, {"role", "admin"}}));

    // Accounts made while the service runs are known at once.
    const std::map<std::string, std::string> tokens = {
        {"viewer", addAccount("vic", "viewer")},
        {"operator", addAccount("olga", "operator")},
        {"admin", addAccount("ada", "admin")},
    };
    EXPECT_EQ(whoami(tokens.at("viewer")), json({{"name", "vic"}, {"role", "viewer"}}));

    const struct {
        const char* method;
        const char* path;
        std::string body;
        std::string least;  // "" open to all
    } routes[] = {
        {"GET", "/api/v1/status", "", "viewer"},
        {"GET", "/api/v1/history", "", "viewer"},
        {"GET", "/api/v1/events", "", "viewer"},
        {"GET", "/api/v1/methods/short", "", "viewer"},
        {"GET", "/api/v1/log", "", "viewer"},
        {"GET", "/api/v1/sequences", "", "viewer"},
        {"GET", "/healthz", "", ""},
        {"GET", "/metrics", "", ""},
        {"POST", "/api/v1/zones", R"({"on": true})", "operator"},
        {"POST", "/api/v1/load", R"({"method": "short"})", "operator"},
        {"POST", "/api/v1/run", R"({"method": "short", "vial": 1})", "operator"},
        {"POST", "/api/v1/stop", "", "operator"},
        {"POST", "/api/v1/reset", "", "operator"},
        {"POST", "/api/v1/methods/other", method(0.5), "operator"},
        {"POST", "/api/v1/sequences", "[sequence]\n", "operator"},
        {"POST", "/api/v1/sequences/none/abort", "", "operator"},
        {"DELETE", "/api/v1/methods/spare", "", "admin"},
        {"POST", "/api/v1/lock/release", "", "admin"},
    };
    const std::vector<std::string> ranks = {"", "viewer", "operator", "admin"};
    for (const auto& route : routes) {
        const auto least = std::find(ranks.begin(), ranks.end(), route.least);
        for (auto caller = ranks.begin(); caller != ranks.end(); ++caller) {
            const std::string token = caller->empty() ? "" : tokens.at(*caller);
            const int got = status(route.method, route.path, route.body, token);
            // On loopback a read needs no token.
            const bool may = caller >= least || (caller->empty() && route.least == "viewer");
            const int refusal = caller->empty() ? 401 : 403;
            EXPECT_EQ(got == refusal, !may) << (caller->empty() ? "no token" : *caller) << " "
                                            << route.method << " " << route.path << ": " << got;
            EXPECT_NE(got, 0) << route.path;
        }
    }
    EXPECT_EQ(service.get("/api/v1/methods/spare").value("error", "").find("no method"), 0u);

    // Her event stream, open while she is removed, ends with the next poll's event.
    httplib::Client streamClient = service.client();
    std::atomic<bool> streaming = false;
    auto stream = std::async(std::launch::async, [&] {
        streamClient.Get("/api/v1/events", {{"Authorization", "Bearer " + tokens.at("operator")}},
                         [&](const char*, std::size_t) { return streaming = true; });
    });
    for (int i = 0; i < 100 && !streaming; ++i)
        std::this_thread::sleep_for(20ms);
    if (!streaming) {
        streamClient.stop();
        FAIL() << "the operator's event stream did not open";
    }

    // Removed while the service runs: refused within a second of the command's end.
    ASSERT_EQ(run({"user", "remove", "olga"}).exitCode, 0);
    const auto removed = std::chrono::steady_clock::now();
    int got = 0;
    while ((got = status("POST", "/api/v1/stop", "", tokens.at("operator"))) != 401 &&
           std::chrono::steady_clock::now() - removed < 1s)
        std::this_thread::sleep_for(50ms);
    EXPECT_EQ(got, 401);
    const bool streamEnded = stream.wait_for(5s) == std::future_status::ready;
    streamClient.stop();
    EXPECT_TRUE(streamEnded) << "the removed account's event stream stayed open";
    EXPECT_EQ(status("POST", "/api/v1/stop", "", service.token()), 202);
}

// Beyond loopback, reads need a token too, unless --open-reads; the health check and the
// metrics never do. (In process: the routes as the server would take them.)
TEST(ReadsBeyondLoopback, NeedATokenUnlessOpened)
{
    test::TempHome home;
    const std::string viewer(40, 'v');
    changeAccounts(accountsPath(), [&](std::vector<Account>& accounts) {
        accounts.push_back({"vic", Role::Viewer, sha256Hex(viewer), "", ""});
        return true;
    });
    for (const bool openReads : {false, true}) {
        ServiceOptions options;
        options.listen = "0.0.0.0:6890";
        options.openReads = openReads;
        ServiceState state{options};
        InstrumentThread instrument(state);
        instrument.stop();
        const HttpApi api(state, instrument, MethodStore(home.path()), "");
        const auto status = [&](const std::string& path, const std::string& token) {
            httplib::Request req;
            req.method = "GET";
            req.path = path;
            if (!token.empty())
                req.set_header("Authorization", "Bearer " + token);
            httplib::Response res;
            api.routes().dispatch(req, res);
            return res.status;
        };
        EXPECT_EQ(status("/api/v1/methods", ""), openReads ? 200 : 401);
        EXPECT_EQ(status("/api/v1/whoami", ""), openReads ? 200 : 401);
        EXPECT_EQ(status("/api/v1/methods", viewer), 200);
        EXPECT_NE(status("/metrics", ""), 401);
    }
}

}  // namespace
}  // namespace gc6890::servicetest
