// The audit trail at the service's doors: each change at the HTTP door in the trail with who,
// role, action, parameters and result, written before the answer; a tokenless flood summed;
// a kill -9 during a burst from two doors losing no line of a change its client was told of.
#include <gmock/gmock.h>
#include <signal.h>

#include <atomic>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "MethodProvider.grpc.pb.h"
#include "audit/sha256.h"
#include "service/audit_log.h"
#include "service_fixture.h"
#include "sila/sila_client.h"
#include "support/temp_home.h"

namespace gc6890::servicetest {
namespace {

using nlohmann::json;
using ::testing::HasSubstr;

// A flood of refusals without a token from one address within a minute: one line at once,
// the sum with the first refusal after the minute; another address its own; the rest at
// flush. The clock is the test's.
TEST(AuditLogTokenless, AFloodFromOneAddressIsOneLineAMinuteAndNothingIsLostAtFlush)
{
    test::TempHome home;
    std::int64_t now = 1000;
    AuditLog log([&now] { return now; });
    std::string error;
    ASSERT_TRUE(log.open(home.path() + "/audit", error)) << error;
    const auto sums = [&] {
        std::vector<std::pair<std::string, std::int64_t>> seen;
        for (const json& line : auditLines(home.path()))
            if (line.value("action", "") == "unauthorized") {
                EXPECT_EQ(line["result"], "refused: no valid token");
                seen.emplace_back(line["remote"], line["params"]["count"]);
            }
        return seen;
    };
    for (int i = 0; i < 5000; ++i, now += 10)  // 50 s
        log.tokenless("http", "10.0.0.1");
    log.tokenless("mqtt", "broker");
    using Sums = std::vector<std::pair<std::string, std::int64_t>>;
    EXPECT_EQ(sums(), (Sums{{"10.0.0.1", 1}, {"broker", 1}}));
    now = 1000 + AuditLog::kTokenlessWindowMs - 1;  // one step before the minute
    log.tokenless("http", "10.0.0.1");
    EXPECT_EQ(sums().size(), 2u);
    now += 1;  // the minute is over: the sum, this one counted in
    log.tokenless("http", "10.0.0.1");
    EXPECT_EQ(sums(), (Sums{{"10.0.0.1", 1}, {"broker", 1}, {"10.0.0.1", 5001}}));
    log.tokenless("http", "10.0.0.1");
    log.tokenless("http", "10.0.0.1");
    log.flush();
    log.flush();  // nothing counted twice
    EXPECT_EQ(sums(), (Sums{{"10.0.0.1", 1}, {"broker", 1}, {"10.0.0.1", 5001}, {"10.0.0.1", 2}}));
}

class AuditAtTheDoors : public ServiceFixture {
protected:
    // `method` `path` with `token` ("" for none): the status and the JSON answer.
    std::pair<int, json> ask(const std::string& method, const std::string& path,
                             const std::string& body, const std::string& token)
    {
        return service.ask(method, path, body, ServiceProcess::bearer(token));
    }
};

// Each kind of change at the HTTP door, by each kind of caller, and the line the trail holds
// once the answer is in.
TEST_F(AuditAtTheDoors, EveryChangeAtTheHttpDoorIsALineWrittenBeforeItsAnswer)
{
    ASSERT_TRUE(startSim());
    ASSERT_TRUE(service.start(link));
    const std::string ana = addAccount("ana", "operator");
    const std::string kim = addAccount("kim", "viewer");
    const std::string admin = service.token();
    const std::string text = method(0.5);
    const std::string sha = sha256Hex(text);

    // Each request and its line: "USER ROLE ACTION PARAMS RESULT", the method's hash as SHA.
    const auto said = [&](const json& line) {
        std::string params = line["params"].dump();
        if (const std::size_t at = params.find(sha); at != std::string::npos)
            params.replace(at, sha.size(), "SHA");
        return line.value("user", "") + " " + line.value("role", "") + " " +
               line.value("action", "") + " " + params + " " + line.value("result", "");
    };
    const struct {
        std::string method, path, body, token;
        int status;
        std::string line;
    } cases[] = {
        {"POST", "/api/v1/methods/m1", text, ana, 201,
         R"(ana operator upload {"method":"m1","sha256":"SHA"} ok)"},
        {"POST", "/api/v1/load", R"({"method":"m1"})", ana, 202,
         R"(ana operator load {"job":1,"method":"m1","sha256":"SHA"} accepted)"},
        {"POST", "/api/v1/run", R"({"method":"m1","vial":12})", kim, 403,
         "kim viewer run {} refused: starting a run needs the operator role; kim is a viewer"},
        {"POST", "/api/v1/zones", R"({"on":"yes"})", ana, 400,
         "ana operator zones {} refused: on must be true or false"},
        {"DELETE", "/api/v1/methods/m1", "", ana, 403,
         "ana operator delete {} refused: deleting a method needs the admin role; ana is an "
         "operator"},
        {"POST", "/api/v1/sequences/nosuch/pause", "", ana, 404,
         R"(ana operator sequence-pause {"sequence":"nosuch"} refused: no sequence nosuch)"},
        {"POST", "/api/v1/stop", "", "", 401,
         R"(  unauthorized {"count":1} refused: no valid token)"},
        {"DELETE", "/api/v1/methods/m1", "", admin, 200,
         R"(service admin delete {"method":"m1","sha256":"SHA"} ok)"},
    };
    std::size_t before = auditLines(home.path()).size();
    for (const auto& c : cases) {
        if (c.path == "/api/v1/run")  // the load's end is a line of its own, before
            service.waitFor("/api/v1/jobs/1", "state", {"done", "failed"}, 20000);
        const auto [status, answer] = ask(c.method, c.path, c.body, c.token);
        EXPECT_EQ(status, c.status) << c.path << ": " << answer.dump();
        // The line is there once the answer is (a job's end may follow it).
        const std::vector<json> lines = auditLines(home.path());
        std::vector<std::string> seen;
        std::transform(lines.begin() + before, lines.end(), std::back_inserter(seen), said);
        const auto found = std::find(seen.begin(), seen.end(), c.line);
        ASSERT_NE(found, seen.end())
            << c.path << ": no line " << c.line << " in " << ::testing::PrintToString(seen);
        const json& line = lines[before + (found - seen.begin())];
        EXPECT_EQ(line["door"], "http");
        EXPECT_EQ(line["remote"], "127.0.0.1");
        before = lines.size();
    }
    // The load's end, after its acceptance.
    const std::vector<json> lines = auditLines(home.path());
    const auto load = [&](const char* result) {
        return std::find_if(lines.begin(), lines.end(), [&](const json& line) {
            return line["action"] == "load" && line["result"] == result;
        });
    };
    ASSERT_NE(load("ok"), lines.end());
    EXPECT_LT(load("accepted"), load("ok"));
    EXPECT_EQ((*load("ok"))["params"], json({{"method", "m1"}, {"sha256", sha}, {"job", 1}}));
    EXPECT_EQ((*load("ok"))["user"], "ana");

    // GET /api/v1/audit: an admin's, the lines the filter selects, newest last.
    httplib::Client client = service.client();
    EXPECT_EQ(client.Get("/api/v1/audit", {{"Authorization", "Bearer " + ana}})->status, 403);
    const httplib::Result loads =
        client.Get("/api/v1/audit?action=load&user=ana&limit=1", service.auth());
    ASSERT_EQ(loads->status, 200) << loads->body;
    EXPECT_EQ(json::parse(loads->body)["lines"], json::array({*load("ok")}));
    EXPECT_EQ(client.Get("/api/v1/audit?since=yesterday", service.auth())->status, 400);
    // gc6890 audit show selects the same, a JSON object a line.
    const hosttest::ProgramResult shown =
        run({"audit", "show", "--action", "load", "--user", "ana", "--json"});
    EXPECT_EQ(shown.out, load("accepted")->dump() + "\n" + load("ok")->dump() + "\n") << shown.err;
    // The deleted method's version still names who uploaded it.
    EXPECT_EQ(service.get("/api/v1/methods/m1/versions")["versions"][0]["user"], "ana");
}

// gc6890 serve killed (SIGKILL) while an HTTP client and a SiLA 2 client upload methods as
// fast as they are answered: every upload a client was told was done has its line, and the
// restarted service mends the trail so that `audit verify` passes.
TEST_F(AuditAtTheDoors, AKillDuringABurstFromTwoDoorsLosesNoLineOfAConfirmedChange)
{
    namespace mp = sila2::io::gcsixeightninety::chromatography::methodprovider::v1;
    ASSERT_TRUE(startSim());
    ASSERT_TRUE(service.start(link, {"--sila", "127.0.0.1:0"}));
    const std::string ana = addAccount("ana", "operator");
    const std::string text = method(0.5);
    const auto stub = mp::MethodProvider::NewStub(
        sila::test::tlsChannel(service.silaAddress(), home.read("sila/ca.pem")));

    // Each client's uploads, by name, once its door answered that the method is stored.
    std::vector<std::string> httpDone, silaDone;
    std::atomic<int> confirmed = 0;
    std::thread httpClient([&] {
        for (int i = 0;; ++i) {
            const std::string name = "h" + std::to_string(i);
            if (ask("POST", "/api/v1/methods/" + name, text, ana).first != 201)
                return;
            httpDone.push_back(name);
            ++confirmed;
        }
    });
    std::thread silaClient([&] {
        for (int i = 0;; ++i) {
            mp::UploadMethod_Parameters upload;
            upload.mutable_name()->set_value("s" + std::to_string(i));
            upload.mutable_content()->set_value(text);
            mp::UploadMethod_Responses responses;
            if (!stub->UploadMethod(sila::test::callContext(service.token()).get(), upload,
                                    &responses)
                     .ok())
                return;
            silaDone.push_back(upload.name().value());
            ++confirmed;
        }
    });
    // Killed once both doors are busy (a bound, not a timing); the clients stop at their
    // first failure, which the kill makes.
    for (int waited = 0; confirmed < 40 && waited < 20000; waited += 5)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(kill(service.pid(), SIGKILL), 0);
    service.waitForExit(10000);
    httpClient.join();
    silaClient.join();
    EXPECT_FALSE(httpDone.empty());
    EXPECT_FALSE(silaDone.empty());

    std::set<std::string> audited;
    for (const json& line : auditLines(home.path()))
        if (line.is_object() && line.value("action", "") == "upload" &&
            line.value("result", "") == "ok")
            audited.insert(line["params"].value("method", "") + " " + line.value("user", "") + " " +
                           line.value("door", ""));
    for (const std::string& name : httpDone)
        EXPECT_TRUE(audited.contains(name + " ana http")) << name;
    for (const std::string& name : silaDone)
        EXPECT_TRUE(audited.contains(name + " service sila")) << name;

    // A kill during a write leaves the start of a line (a write(2) is seldom cut, so the
    // test leaves one): the restart cuts it, says so in a line, and the chain verifies.
    std::ofstream(home.path() + "/audit/audit.jsonl", std::ios::app) << R"({"n":999,"time":"20)";
    ASSERT_TRUE(service.start(link));
    const std::vector<json> after = auditLines(home.path());
    EXPECT_TRUE(std::any_of(after.begin(), after.end(), [](const json& line) {
        return line.value("action", "") == "audit_torn_line_cut";
    }));
    const hosttest::ProgramResult verify = run({"audit", "verify"});
    EXPECT_EQ(verify.exitCode, 0) << verify.out << verify.err;
}

}  // namespace
}  // namespace gc6890::servicetest
