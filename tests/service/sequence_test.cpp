// Sequences through the service, end to end: gc6890 serve against an outside gc6890-sim
// (60 times real speed) that counts the injections it receives in a file of its own, so
// that what a killed service did is judged by the instrument, not by the service.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <filesystem>

#include "audit/sha256.h"
#include "service_fixture.h"
#include "support/scoped_env.h"
#include "support/sequence_text.h"

namespace gc6890::servicetest {
namespace {

using nlohmann::json;
using ::testing::HasSubstr;

using test::rowStates;
using test::sequenceText;

class SequenceTest : public ServiceFixture {
protected:
    void startAll(std::vector<std::string> simOptions = {})
    {
        simOptions.insert(simOptions.end(), {"--injection-log", injectionLog});
        ASSERT_TRUE(startSim(simOptions));
        ASSERT_TRUE(service.start(link));
        upload("short", method(0.5));
        upload("other", method(0.6));
        upload("long", method(4.0));
    }
    std::string post(const std::string& text)
    {
        const auto [code, answer] =
            service.post("/api/v1/sequences?file=tray.toml", text, "application/toml");
        EXPECT_EQ(code, 201) << answer.dump();
        return answer.value("id", std::string());
    }
    // The sequence once its state is one of `states` (the last seen after `ms`).
    json waitState(const std::string& id, const std::vector<std::string>& states, int ms = 40000)
    {
        return service.waitFor("/api/v1/sequences/" + id, "state", states, ms);
    }
    std::string injected() const { return test::injectedVials(injectionLog); }
    // Every injection recorded has its results folder, with the record and the run in it.
    static void expectResults(const json& sequence)
    {
        for (const json& row : sequence["rows"])
            for (const json& injection : row["injections"]) {
                if (!injection.contains("record"))
                    continue;
                const std::filesystem::path folder = injection.value("record", "");
                EXPECT_GE(std::distance(std::filesystem::directory_iterator(folder), {}), 2)
                    << folder;
            }
    }

    std::string injectionLog = home.path() + "/injections";
};

// The service killed (SIGKILL, from inside) right after sending row 2's injection, before its
// answer was journalled, then started again on the same journal and simulator: it asks the
// real instrument, finds the run and follows it. (The runner's own tests restart from every
// step in process, the operator's check of a vial never sent among them.)
TEST_F(SequenceTest, AKillAfterAnInjectionWasSentLosesNothingAndInjectsNothingTwice)
{
    startAll();
    service.stop();
    std::string id;
    {
        const test::ScopedEnv crash("GC6890_SEQUENCE_CRASH", "injection sent 2");
        ASSERT_TRUE(service.start(link));
        id = post(sequenceText("pause", {{1, "short"}, {2, "long"}, {3, "short"}}));
        const int status = service.waitForExit(60000);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    }
    ASSERT_TRUE(service.start(link));
    const json after = waitState(id, {"finished", "paused", "aborted"}, 60000);
    ASSERT_EQ(after.value("state", ""), "finished") << after.dump(1);
    EXPECT_EQ(injected(), "1 2 3");
    EXPECT_EQ(rowStates(after), "done, done, done");
    expectResults(after);
}

// A vial the simulator's sampler refuses reaches the sequence as a refusal (the error rules
// themselves are tested in process: tests/sequence/sequence_runner_test.cpp).
TEST_F(SequenceTest, PauseResumeStopARefusedVialAndAbortDuringARun)
{
    startAll({"--missing-vial", "5"});
    const std::string id = post(
        sequenceText("pause", {{1, "long"}, {2, "long"}, {5, "short"}, {3, "long"}, {4, "short"}}));
    const std::string url = "/api/v1/sequences/" + id;
    // A file that is no sequence is refused with the place and what is wrong there.
    const auto refused = [&](const std::string& text) {
        const auto [code, body] =
            service.post("/api/v1/sequences?file=bad.toml", text, "application/toml");
        EXPECT_EQ(code, 400) << body.dump();
        return body;
    };
    EXPECT_EQ(refused("name = 3\n"), (json{{"error", "bad.toml:1: name: expected a string, found "
                                                     "integer"},
                                           {"file", "bad.toml"},
                                           {"line", 1},
                                           {"key", "name"},
                                           {"problem", "expected a string, found integer"}}));
    json error = refused("name = \"t\"\nname = \"u\"\n");
    EXPECT_EQ(error.value("line", 0), 2);
    EXPECT_THAT(error.value("problem", ""), ::testing::StartsWith("not TOML: "));
    EXPECT_EQ(error.value("error", ""), "bad.toml:2:" + std::to_string(error.value("column", 0)) +
                                            ": " + error.value("problem", ""));
    error = refused(sequenceText("pause", {{1, "short"}, {2, "absent"}}));
    EXPECT_EQ(error.value("line", 0), 8);  // where row 2 starts
    EXPECT_EQ(error.value("key", ""), "row[2].method");
    EXPECT_THAT(error.value("problem", ""), ::testing::StartsWith("no method absent in "));
    EXPECT_EQ(error.value("error", ""), "bad.toml:8: row[2].method: " + error.value("problem", ""));
    EXPECT_EQ(error.size(), 5u);

    // The sequence owns the instrument: a load job and a second sequence are refused.
    EXPECT_EQ(service.post("/api/v1/load", R"({"method":"short"})").first, 409);
    EXPECT_EQ(service.post("/api/v1/sequences", sequenceText("pause", {{9, "short"}})).first, 409);
    // Row `row`'s run under way on the GC (the syringe in, not only the injection accepted).
    auto inRun = [&](int row) {
        const auto following = [&](const json& s) {
            return s["current"].is_object() && s["current"]["row"] == row &&
                   s["current"]["step_id"] == "in_run";
        };
        service.waitFor(url, following, 30000);
        service.waitFor("/api/v1/status", "run_state", {"run"}, 10000);
    };
    // The operator's way: gc6890 sequence ACTION.
    auto program = [&](const char* action) { return viaService({"sequence", action}); };

    // Pause during row 1's run: its record is written, then nothing is injected.
    inRun(1);
    const hosttest::ProgramResult pausing = program("pause");
    EXPECT_TRUE(exited(pausing, 0, ""));
    EXPECT_THAT(pausing.out, HasSubstr("): pausing"));
    ASSERT_EQ(waitState(id, {"paused"}).value("state", ""), "paused");
    EXPECT_EQ(service.client().Get("/healthz")->status, 200);  // the operator's own pause
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_EQ(injected(), "1");
    EXPECT_EQ(program("pause").exitCode, 1);
    ASSERT_EQ(program("resume").exitCode, 0);

    // A stop ends row 2's run and pauses the sequence with the row recorded.
    inRun(2);
    ASSERT_EQ(service.post("/api/v1/stop", "").first, 202);
    const json stopped = waitState(id, {"paused"});
    EXPECT_THAT(stopped.value("reason", ""), HasSubstr("stop"));
    EXPECT_EQ(rowStates(stopped), "done, done, pending, pending, pending");
    ASSERT_EQ(service.post(url + "/resume", "").first, 200);

    // Row 3's vial is refused: paused by itself for a fault, someone is needed, and health
    // says why. The operator gives up on the vial.
    const json refusedRow = service.waitFor(
        url,
        [](const json& s) {
            return s.is_object() && rowStates(s) == "done, done, refused, pending, pending";
        },
        40000);
    EXPECT_EQ(refusedRow.value("state", ""), "paused") << refusedRow.dump(1);
    const httplib::Result health = service.client().Get("/healthz");
    ASSERT_TRUE(health);
    EXPECT_EQ(health->status, 503);
    EXPECT_THAT(json::parse(health->body).value("reason", ""),
                HasSubstr("the sequence " + id + " is paused: row 3, vial 5"));
    ASSERT_EQ(service.post(url + "/resume", R"({"skip_row":true})").first, 200);

    // Abort during row 4's run: the run is stopped at once, its record written, row 5 never
    // injected.
    inRun(4);
    ASSERT_EQ(service.post(url + "/abort", "").first, 200);
    const json aborted = waitState(id, {"aborted"}, 15000);
    ASSERT_EQ(aborted.value("state", ""), "aborted") << aborted.dump(1);
    EXPECT_EQ(rowStates(aborted), "done, done, skipped, done, pending");
    EXPECT_EQ(service.get("/api/v1/status").value("run_state", ""), "idle");
    EXPECT_EQ(injected(), "1 2 3");
    expectResults(aborted);
    EXPECT_EQ(service.post(url + "/resume", "").first, 409);
    EXPECT_EQ(service.post("/api/v1/load", R"({"method":"short"})").first, 202);
}

// The host program runs the same file on the line (methods as files beside it) and
// through the service (methods as stored names), with the same output and exit codes; and
// its other commands through the service. The GC prepares itself for runs: it waits for
// each injection in pre-run, which is not a run.
TEST_F(SequenceTest, TheHostProgramRunsASequenceAndItsCommandsOnTheLineAndThroughTheService)
{
    const std::string methodFile = write("short.toml", method(0.5));
    const std::string file =
        write("tray.toml", sequenceText("pause", {{1, "short"}, {2, "short"}}));
    ASSERT_TRUE(startSim({"--injection-log", injectionLog, "--auto-prep-run"}));
    const auto line = hosttest::runProgram({"--port", link, "sequence", "run", file}, {}, 60);
    EXPECT_TRUE(exited(line, 0, ""));
    EXPECT_THAT(line.out,
                HasSubstr("row 2, injection 1: results in " + home.path() + "/results/tray-"));
    EXPECT_EQ(injected(), "1 2");
    // On the line the program writes the audit trail itself: the sequence, its one load
    // (both rows have the same method) and each injection, with the method's hash.
    std::string audited;
    for (const json& entry : auditLines(home.path()))
        audited += entry.value("door", "") + " " + entry.value("action", "") + " " +
                   entry["params"].value("sha256", "").substr(0, 12) + "; ";
    const std::string methodHash = sha256Hex(method(0.5)).substr(0, 12);
    EXPECT_EQ(audited, "line sequence run " + sha256Hex(home.read("tray.toml")).substr(0, 12) +
                           "; line load " + methodHash + "; line run " + methodHash +
                           "; line run " + methodHash + "; ");

    ASSERT_TRUE(service.start(link));
    upload("short", method(0.5));
    const hosttest::ProgramResult through = viaService({"sequence", "run", file});
    EXPECT_TRUE(exited(through, 0, ""));
    EXPECT_EQ(std::count(through.out.begin(), through.out.end(), '\n'),
              std::count(line.out.begin(), line.out.end(), '\n'))
        << through.out;
    EXPECT_EQ(injected(), "1 2 1 2");
    const hosttest::ProgramResult status = viaService({"sequence", "status"}, false);
    EXPECT_THAT(status.out.substr(0, status.out.find('\n')), ::testing::EndsWith("): finished"));

    // Fine offline; the service's GC has a split/splitless front inlet, not an on-column one.
    std::string onColumn = method(0.5);
    const std::string oc =
        write("oc.toml", onColumn.replace(onColumn.find("type = 1"), 8, "type = 3"));
    const struct {
        std::vector<std::string> command;  // after --service and (with the token) --token-file
        std::string out = "";              // what standard output begins with
        int exitCode = 0;
        bool token = true;
        std::string err = "";  // what standard error holds
    } cases[] = {
        {.command = {"method", "check", oc},
         .exitCode = 2,
         .token = false,
         .err = "gc.front_inlet.type = 3: inlet code 1 is not the installed split_splitless"},
        {.command = {"load", methodFile}, .exitCode = 1, .token = false},
        {.command = {"load", methodFile}, .out = "loaded " + methodFile + "\n"},
        // A single run through the service ends when the GC is back in pre-run.
        {.command = {"run", "short", "--vial", "3"},
         .out = "injecting from vial 3\nrun finished\nresults in " + home.path() + "/results/run-"},
        {.command = {"run", methodFile, "--vial", "2", "--detach"},
         .out = "injecting from vial 2\n"},
        {.command = {"stop"}, .out = "stop: ok\n"},
        {.command = {"status", "--json"}, .out = "{\"running\":", .token = false},
    };
    for (const auto& c : cases) {
        const hosttest::ProgramResult result = viaService(c.command, c.token);
        EXPECT_TRUE(exited(result, c.exitCode, c.err)) << c.command.front();
        EXPECT_THAT(result.out, ::testing::StartsWith(c.out)) << c.command.front();
    }
    EXPECT_THAT(injected(), ::testing::StartsWith("1 2 1 2 3"));
    // Ctrl-C ends a follow of the service's events at once, saying so.
    const auto watch = viaService({"status", "--watch"}, false, {SIGINT, 1000, "oven"});
    EXPECT_TRUE(exited(watch, 130, "interrupted by SIGINT: stopped following"));

    // Killed on the line right after sending an injection, then run again: the run it finds
    // is audited with the hash of the method loaded before the kill (Ctrl-C once it is told).
    service.stop();
    write("long.toml", method(4.0));
    const std::string crashed = write("crash.toml", sequenceText("pause", {{4, "long"}}));
    EXPECT_NE(hosttest::runProgram({"--port", link, "sequence", "run", crashed},
                                   {"GC6890_SEQUENCE_CRASH=injection sent 1"}, 60)
                  .exitCode,
              0);
    hosttest::runProgram({"--port", link, "sequence", "run", crashed}, {}, 60,
                         {SIGINT, 0, "row 1, injection 1: injected"});
    const nlohmann::json run = auditLines(home.path()).back();
    EXPECT_EQ(run.value("action", ""), "run") << run.dump();
    EXPECT_EQ(run["params"].value("sha256", ""), sha256Hex(method(4.0))) << run.dump();
}

}  // namespace
}  // namespace gc6890::servicetest
