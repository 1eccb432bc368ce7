// The service end to end: gc6890 serve against gc6890-sim (60 times real speed) on a
// pseudo-terminal, through a real HTTP client over loopback.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>

#include "audit/sha256.h"
#include "service_fixture.h"
#include "support/scoped_env.h"

namespace gc6890::servicetest {
namespace {

using nlohmann::json;
using ::testing::HasSubstr;

// Cases that start the service themselves, with their own settings or options.
class ServiceOptionsTest : public ServiceFixture {
protected:
    // Posts a job, expects it taken and waits for its end: the job's state then.
    std::string job(const std::string& path, const std::string& body)
    {
        const auto [code, accepted] = service.post(path, body);
        EXPECT_EQ(code, 202) << path << ": " << accepted.dump();
        const std::string url = accepted.value("url", "/api/v1/jobs/0");
        return service.waitFor(url, "state", {"done", "failed"}, 20000).value("state", "");
    }
};

// The same, the simulator and the service started before each test.
class ServiceTest : public ServiceOptionsTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(startSim());
        ASSERT_TRUE(service.start(link));
    }
};

TEST_F(ServiceTest, ServesStatusHistoryHealthAndMetricsAndTellsTheLineDown)
{
    const json status = service.get("/api/v1/status");
    EXPECT_EQ(status["identity"]["product"], "HP 6890 GC");
    EXPECT_FALSE(status["identity"]["firmware"].get<std::string>().empty());
    EXPECT_EQ(status["run_state"], "idle");
    EXPECT_FALSE(status["stale"].get<bool>());
    EXPECT_TRUE(status["job"].is_null());
    EXPECT_GT(status["oven_temperature"].get<double>(), 0);
    EXPECT_EQ(status["sampler"]["source"], "sampler");

    const json history = service.waitFor(
        "/api/v1/history?seconds=60", [](const json& h) { return h["time_ms"].size() >= 3; }, 5000);
    ASSERT_GE(history["time_ms"].size(), 3u);
    for (const char* series : {"oven_temperature", "column1_pressure", "column2_pressure",
                               "column1_flow", "column2_flow", "run_state"})
        EXPECT_EQ(history[series].size(), history["time_ms"].size()) << series;
    EXPECT_LT(history["time_ms"].front().get<long long>(),
              history["time_ms"].back().get<long long>());

    EXPECT_EQ(service.client().Get("/healthz")->status, 200);
    const std::string metrics = service.client().Get("/metrics")->body;
    const double polls = metric(metrics, "gc6890_polls_total");
    EXPECT_GT(polls, 0);
    EXPECT_GT(metric(metrics, "gc6890_poll_seconds_bucket{le=\"+Inf\"}"), 0);
    // Every line exchange is timed: a poll is at least seven of them.
    const double exchanges = metric(metrics, "gc6890_exchange_seconds_count");
    EXPECT_GE(exchanges, 7 * polls);
    EXPECT_EQ(metric(metrics, "gc6890_exchange_seconds_bucket{le=\"+Inf\"}"), exchanges);
    EXPECT_GT(metric(metrics, "gc6890_exchange_seconds_sum"), 0);
    EXPECT_EQ(service.client().Get("/api/v1/nothing")->status, 404);

    // The instrument gone: the line is down, the status stale. (The line coming back up is
    // the dashboard test's: its page waits for "line up" then.)
    sim.stop();
    const json down = service.waitFor("/api/v1/status", "line", {"down"}, 20000);
    EXPECT_EQ(down["line"], "down") << down.dump();
    EXPECT_TRUE(down["stale"].get<bool>());
    EXPECT_GE(down["age_ms"].get<long long>(), 0);
    const httplib::Result health = service.client().Get("/healthz");
    EXPECT_EQ(health->status, 503);
    EXPECT_THAT(health->body, HasSubstr("reason"));
}

TEST_F(ServiceTest, EventsFollowALoadAndARunInOrder)
{
    upload("short", method(0.5));
    EventReader events(service.port());
    EXPECT_EQ(job("/api/v1/load", R"({"method":"short"})"), "done");
    EXPECT_EQ(job("/api/v1/run", R"({"method":"short","vial":2})"), "done");
    ASSERT_TRUE(events.waitFor(
        [](const Event& e) { return e.name == "run" && e.data["state"] == "idle"; }, 30000));

    // In order: every id one more than the last; the load's job events, then the run's,
    // then the run states; status and the registration blocks throughout.
    std::vector<std::string> seen;
    std::uint64_t lastId = 0;
    for (const Event& event : events.all()) {
        EXPECT_TRUE(lastId == 0 || event.id == lastId + 1) << event.id << " after " << lastId;
        lastId = event.id;
        seen.push_back(describe(event.name, event.data));
    }
    expectLoadThenRun(seen);
    for (const char* name : {"datablock", "status"})
        EXPECT_NE(std::find(seen.begin(), seen.end(), name), seen.end()) << name;

    // Its run ended, the run job names the results folder the service wrote for it.
    const json run = service.waitFor(
        "/api/v1/jobs/2", [](const json& job) { return job.contains("results_folder"); }, 20000);
    const std::string folder = run.value("results_folder", "");
    EXPECT_THAT(folder, ::testing::MatchesRegex(
                            home.path() + "/results/run-[0-9]{8}T[0-9]{6}Z-job2/001-1-vial_2"));
    std::ifstream written(folder + "/run.json");
    const json result = json::parse(written, nullptr, false);
    EXPECT_EQ(result.value("method", ""), "short") << folder;
    EXPECT_EQ(result.value("method_sha256", ""), sha256Hex(method(0.5))) << folder;
    EXPECT_EQ(result.value("vial", 0), 2) << folder;
    EXPECT_THAT(result.value("record", ""), HasSubstr("Front inlet")) << folder;
    EXPECT_FALSE(result["history"]["time_ms"].empty()) << folder;
}

TEST_F(ServiceTest, RefusesBadRequestsAndMethodsNamingWhereAndChangesNothing)
{
    upload("short", method(0.5));
    // The answer to a request: its status and the field its error names ("" for none).
    const auto refusal = [&](const char* path, const char* body, const char* auth) {
        httplib::Headers headers = auth ? httplib::Headers() : service.auth();
        if (auth && *auth)
            headers.emplace("Authorization", auth);
        const auto [status, answer] = service.ask(
            body ? "POST" : "GET", "/api/v1/" + std::string(path), body ? body : "", headers);
        EXPECT_TRUE(answer.contains("error")) << path << ": " << answer.dump();
        return std::pair{status, answer.value("field", "")};
    };
    // With the token, a request that is not what its path takes: 400 naming the field.
    // Without the token, with another one or another kind: 401, whatever the request.
    const struct {
        const char* path;  // after /api/v1/
        const char* body;  // nullptr: a GET
        const char* field = "";
        const char* auth = nullptr;  // the Authorization header; nullptr: the token; "": none
    } cases[] = {
        {.path = "load", .body = R"({"method":"short"})", .auth = ""},
        {.path = "stop", .body = R"({"method":"short"})", .auth = "Bearer 0123"},
        {.path = "methods/x", .body = R"({"method":"short"})", .auth = "Basic eDp4"},
        {.path = "load", .body = "{", .field = "body"},
        {.path = "load", .body = "[1]", .field = "body"},
        {.path = "load", .body = R"({"method":"short","when":1})", .field = "when"},
        {.path = "load", .body = R"({"method":7})", .field = "method"},
        {.path = "load", .body = R"({"method":"../short"})", .field = "method"},
        {.path = "load", .body = R"({"method":"absent"})", .field = "method"},
        {.path = "run", .body = R"({"method":"short"})", .field = "vial"},
        {.path = "run", .body = R"({"method":"short","vial":"2"})", .field = "vial"},
        {.path = "run", .body = R"({"method":"short","vial":0})", .field = "vial"},
        {.path = "run", .body = R"({"method":"short","vial":1,"volume":-1})", .field = "volume"},
        {.path = "zones", .body = R"({"on":"yes"})", .field = "on"},
        {.path = "methods/.hidden", .body = "", .field = "name"},
        {.path = "history?seconds=x", .body = nullptr, .field = "seconds"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(refusal(c.path, c.body, c.auth),
                  std::pair(*c.field ? 400 : 401, std::string(c.field)))
            << c.path << " " << (c.body ? c.body : "");
    // A body past the limit is refused before it is read whole.
    EXPECT_EQ(service.post("/api/v1/methods/big", std::string(2 << 20, '#'), "text/plain").first,
              413);
    // A method that does not read is refused naming the line and key.
    const std::string good = method(1);
    const struct {
        std::string text;
        int line;
        std::string key;
    } uploads[] = {
        {.text = good + "colour = 3\n",
         .line = static_cast<int>(std::count(good.begin(), good.end(), '\n')) + 1,
         .key = "sampler.colour"},
        {.text = "[gc]\nrun_length = \"long\"\n", .line = 2, .key = "gc.run_length"},
        {.text = "[gc\n", .line = 1, .key = ""},  // not TOML: line and column
    };
    for (const auto& c : uploads) {
        const auto [code, answer] = service.post("/api/v1/methods/bad", c.text, "text/plain");
        EXPECT_EQ(code, 400) << c.text;
        EXPECT_EQ(answer.value("file", ""), "bad.toml");
        EXPECT_EQ(answer.value("line", 0), c.line) << answer.dump();
        EXPECT_EQ(answer.value("key", ""), c.key) << answer.dump();
    }
    // Nothing was done: no job was made, no method stored.
    EXPECT_EQ(service.client().Get("/api/v1/jobs/1")->status, 404);
    EXPECT_EQ(service.client().Get("/api/v1/methods/bad")->status, 404);
    EXPECT_EQ(service.get("/api/v1/methods")["methods"].size(), 1u);

    upload("good", method(2));
    EXPECT_EQ(service.client().Get("/api/v1/methods/good")->body, method(2));
    EXPECT_EQ(service.get("/api/v1/methods")["methods"][0]["name"], "good");
    // The record and the summary name the inlet mode in use and give units (which of the
    // record's lines are hidden the method library's tests check).
    EXPECT_THAT(service.client().Get("/api/v1/methods/good/record")->body,
                HasSubstr("GC\tFront inlet split: Temperature\t250 °C\n"));
    const nlohmann::json summary = service.get("/api/v1/methods/good/summary");
    EXPECT_EQ(summary["inlets"][0]["name"], "split") << summary.dump();
    EXPECT_EQ(summary["columns"][0]["carrier_gas"], "hydrogen") << summary.dump();
    EXPECT_EQ(summary["columns"][0]["initial_unit"], "psi") << summary.dump();

    // An upload over it keeps it as a version, read over HTTP and by gc6890 method versions
    // from the folder; the history folder is no method.
    upload("good", method(3));
    EXPECT_EQ(service.get("/api/v1/methods")["methods"].size(), 2u);
    const json versions = service.get("/api/v1/methods/good/versions")["versions"];
    EXPECT_EQ(versions[1]["sha256"], sha256Hex(method(3))) << versions.dump();
    EXPECT_TRUE(versions[1]["current"].get<bool>()) << versions.dump();
    EXPECT_EQ(service.client().Get("/api/v1/methods/absent/versions")->status, 404);
    const hosttest::ProgramResult listed = run({"method", "versions", "good"});
    EXPECT_EQ(listed.exitCode, 0) << listed.err;
    EXPECT_THAT(listed.out, hosttest::holdsAll({sha256Hex(method(2)) + "  service\n",
                                                sha256Hex(method(3)) + "  service  (current)\n"}));
}

// Right after an injection is accepted the GC counts as in a run, without waiting for the
// next poll (here every 2 s): the run requests that follow are refused at once and
// never reach the sampler. The run outlives a restart of the service (on SIGTERM, a clean
// exit): the new service finds it, injects nothing, and takes a stop while it refuses the
// other jobs.
TEST_F(ServiceOptionsTest, ARunRefusesJobsFromItsInjectionOnOutlivesARestartAndTakesAStop)
{
    write("registry.ini", "[Inlets\\Hubrel\\System Timings]\nStatus Frequency=2000\n");
    ASSERT_TRUE(startSim());
    ASSERT_TRUE(service.start(link));
    upload("long", method(30));
    ASSERT_EQ(job("/api/v1/run", R"({"method":"long","vial":1})"), "done");
    for (int i = 0; i < 3; ++i) {
        const auto [code, answer] = service.post("/api/v1/run", R"({"method":"long","vial":3})");
        EXPECT_EQ(code, 409) << i << ": " << answer.dump();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    EXPECT_EQ(service.client().Get("/api/v1/jobs/2")->status, 404);
    ASSERT_EQ(service.waitFor("/api/v1/status", "run_state", {"run"}, 30000)["run_state"], "run");
    ASSERT_EQ(service.stop(), 0);  // the wait status of exit code 0

    ASSERT_TRUE(service.start(link));
    // A second service on this home is refused before it touches anything the home holds.
    EXPECT_TRUE(hosttest::exited(run({"serve", "--listen", "127.0.0.1:0", "--port", link}), 1,
                                 "another gc6890 serve (process " + std::to_string(service.pid()) +
                                     ") uses the home"));
    EventReader events(service.port(), 0);  // from the start of the backlog
    const auto found = events.waitFor([](const Event& e) { return e.name == "run"; }, 5000);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->data["state"], "run") << found->data.dump();
    EXPECT_TRUE(found->data.value("found_at_start", false));
    EXPECT_EQ(service.client().Get("/api/v1/jobs/1")->status, 404);  // nothing was injected

    for (const auto& [path, body] : {std::pair{"/api/v1/load", R"({"method":"long"})"},
                                     std::pair{"/api/v1/run", R"({"method":"long","vial":2})"}}) {
        const auto [code, answer] = service.post(path, body);
        EXPECT_EQ(code, 409) << path;
        EXPECT_THAT(answer.value("error", ""), HasSubstr("in a run"));
    }
    EXPECT_EQ(job("/api/v1/stop", ""), "done");
    EXPECT_NE(service.waitFor("/api/v1/status", "run_state", {"idle"}, 20000)["run_state"], "run");
}

// Ctrl-C signals the whole foreground process group: the built-in simulator, a group of its
// own, outlives the signal until the service has closed the line, and goes with it.
TEST_F(ServiceOptionsTest, CtrlCToTheProcessGroupClosesTheLineBeforeTheBuiltInSimulatorEnds)
{
    service.ownGroup = true;
    service.errorLog = home.path() + "/serve.err";
    test::ScopedEnv speed("GC6890_SIM_OPTIONS", "--speed 60");
    ASSERT_TRUE(service.start("sim"));
    // The simulator is the child of the service's instrument thread.
    pid_t simulator = 0;
    const std::string tasks = "/proc/" + std::to_string(service.pid()) + "/task";
    for (const auto& task : std::filesystem::directory_iterator(tasks))
        if (pid_t child = 0; std::ifstream(task.path() / "children") >> child)
            simulator = child;
    ASSERT_GT(simulator, 0);
    ASSERT_EQ(kill(-service.pid(), SIGINT), 0);
    EXPECT_EQ(service.waitForExit(30000), 0);
    EXPECT_THAT(home.read("serve.err"), HasSubstr("communications closed on sim\n"));
    EXPECT_EQ(kill(simulator, 0), -1);
    EXPECT_EQ(errno, ESRCH);
}

}  // namespace
}  // namespace gc6890::servicetest
