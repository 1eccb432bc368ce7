// The host program end to end: gc6890 against gc6890-sim on a pseudo-terminal (the device
// "sim"), each command's success path and its typical failure.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "audit/sha256.h"
#include "method/method_errors.h"
#include "program_run.h"

namespace gc6890::hosttest {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

class InstrumentCommandsTest : public HomeTest {
protected:
    void SetUp() override
    {
        method = home.path() + "/m.toml";
        ASSERT_EQ(run({"method", "new", method}).exitCode, 0);
    }
    // On the simulator, instrument time 120 times faster, plus any simulator options.
    ProgramResult run(std::vector<std::string> arguments, const std::string& simulatorOptions = "")
    {
        arguments.insert(arguments.begin(), {"--port", "sim"});
        return HomeTest::run(arguments, {"GC6890_SIM_OPTIONS=--speed 120 " + simulatorOptions});
    }

    std::string method;
};

TEST_F(InstrumentCommandsTest, StatusPrintsTheMergedRecordAsTextAndAsJson)
{
    ProgramResult text = run({"status"});
    ASSERT_EQ(text.exitCode, 0) << text.err;
    EXPECT_THAT(text.out, StartsWith("running: no  post-run: no  not ready: no  error: no\n"));
    EXPECT_THAT(text.out, HasSubstr("status: Run currently in state RUN IDLE"));

    // The GC's pre-run, which the merged record's flags cannot tell, in its run state.
    ProgramResult json = run({"status", "--json"}, "--auto-prep-run");
    ASSERT_EQ(json.exitCode, 0) << json.err;
    auto values = nlohmann::json::parse(json.out, nullptr, false);
    ASSERT_TRUE(values.is_object()) << json.out;
    EXPECT_EQ(values.size(), 12u);
    EXPECT_EQ(values["running"], false);
    EXPECT_EQ(values["error"], false);
    EXPECT_EQ(values["run_state"], "pre-run");
    EXPECT_THAT(values["status_text"], StartsWith("Run currently in state PRE RUN"));
    EXPECT_EQ(values["oven_temperature"].dump(), "50");  // as printed, not merely equal
    EXPECT_GT(values["column1_pressure"].get<double>(), 0.0);
}

TEST_F(InstrumentCommandsTest, LoadDownloadsWithProgressAndReportsARefusalWithTheBoxText)
{
    ProgramResult loaded = run({"load", method});
    ASSERT_EQ(loaded.exitCode, 0) << loaded.err;
    EXPECT_EQ(loaded.out, "loaded " + method + "\n");
    EXPECT_THAT(loaded.err,
                holdsAll({"method lines: ", "status: HP6890GC Method load: Sending method to GC"}));

    ProgramResult refused = run({"load", method}, "--check-code 16");
    EXPECT_EQ(refused.exitCode, 1);
    const std::string box = GetMethodErrorText(16).str();
    EXPECT_THAT(refused.err, holdsAll({"6890 Method Error: ", box.substr(0, box.find('\n')),
                                       "gc6890: load: the GC did not take the method " + method}));
}

TEST_F(InstrumentCommandsTest, RunInjectsAndWatchesTheRunToItsEnd)
{
    // A run of 2 instrument minutes (the template's lasts 20) and a post-run of 2.
    std::string text = home.read("m.toml");
    for (const auto& [from, to] : {std::pair{"initial_time = 2.0", "initial_time = 1.0"},
                                   {"rate = 10.0, final = 180.0", "rate = 60.0, final = 110.0"},
                                   {"{ rate = 20.0, final = 250.0, time = 1.5 },", ""},
                                   {"enabled = false\ntime = 0.0", "enabled = true\ntime = 2.0"}})
        text.replace(text.find(from), std::strlen(from), to);
    write("m.toml", text);
    ProgramResult result = run({"run", method, "--vial", "2", "--load"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    // The injection's results folder, as the service writes one, with the watch's history.
    const std::string results = home.path() + "/results/run-";
    ASSERT_THAT(result.out,
                StartsWith("injecting from vial 2\nrun finished\nresults in " + results));
    const std::string folder = result.out.substr(result.out.find(results));
    std::ifstream written(folder.substr(0, folder.size() - 1) + "/run.json");
    const nlohmann::json run = nlohmann::json::parse(written, nullptr, false);
    EXPECT_THAT(folder, HasSubstr("-line/001-1-vial_2\n"));
    EXPECT_THAT(run.value("record", ""), HasSubstr("Front inlet")) << folder;
    EXPECT_GE(run["history"]["time_ms"].size(), 2u) << folder;
    const std::string sha256 = sha256Hex(home.read("m.toml"));
    EXPECT_EQ(run.value("method_sha256", ""), sha256);
    // The line door's audit line: who, which port, the method by name and hash, the vial.
    const std::vector<nlohmann::json> audit = auditLines(home.path());
    ASSERT_EQ(audit.size(), 1u);
    EXPECT_EQ(audit[0]["door"], "line");
    EXPECT_EQ(audit[0]["remote"], "sim");
    EXPECT_FALSE(audit[0].value("user", "").empty());
    EXPECT_EQ(audit[0]["action"], "run");
    EXPECT_EQ(audit[0]["params"]["method"], method);
    EXPECT_EQ(audit[0]["params"]["sha256"], sha256);
    EXPECT_EQ(audit[0]["params"]["vial"], 2);
    EXPECT_EQ(audit[0]["result"], "ok");
    EXPECT_THAT(result.err, holdsAll({"RUN ACTIVE", "POST RUN"}));
    EXPECT_EQ(result.err.rfind("run: idle"), result.err.rfind("run: "))
        << "the last line shows the GC idle";
    // A refused injection fails the run: the host fault cases' offset run checks it.
}

TEST_F(InstrumentCommandsTest, SmallCommandsSayOkOrFailAndTraceShowsTheLineTraffic)
{
    const std::vector<std::vector<std::string>> commands = {
        {"zones", "on"}, {"zones", "off"}, {"stop"}, {"reset"}};
    for (const std::vector<std::string>& command : commands) {
        ProgramResult result = run(command);
        EXPECT_EQ(result.exitCode, 0) << command[0] << result.err;
        EXPECT_EQ(result.out, command.size() == 2 ? command[0] + " " + command[1] + ": ok\n"
                                                  : command[0] + ": ok\n");
    }
    ProgramResult traced = run({"--trace", "gc-on"});
    EXPECT_EQ(traced.exitCode, 0) << traced.err;
    EXPECT_EQ(traced.out, "gc-on: ok\n");
    EXPECT_THAT(traced.err, holdsAll({"> CCHTID\\n", "< HTCCID HP 6890 GC"}));
    // The sampler refuses the return-all of a reset.
    EXPECT_TRUE(exited(run({"reset"}, "--garble 01HTRTN_ALL"), 1, "gc6890: reset (comms log: "));
    // Each change has its line, the refusal too; the check of the line (gc-on) none.
    std::string actions;
    for (const nlohmann::json& line : auditLines(home.path()))
        actions += line.value("action", "") + " " + line["params"].dump() + " " +
                   line.value("result", "").substr(0, 6) + "; ";
    EXPECT_EQ(actions, "zones {\"on\":true} ok; zones {\"on\":false} ok; stop {} ok; reset {} ok; "
                       "reset {} failed; ");
    // A trail that cannot be written holds a change back, naming the folder; a stop goes
    // through and then fails.
    std::filesystem::rename(home.path() + "/audit", home.path() + "/audit.kept");
    write("audit", "");
    const std::string unwritable = "the audit trail in " + home.path() + "/audit cannot be written";
    const ProgramResult held = run({"--trace", "zones", "on"});
    EXPECT_TRUE(exited(held, 1, "zones: nothing was done: " + unwritable));
    EXPECT_THAT(held.err, ::testing::Not(HasSubstr("> "))) << "nothing was sent";
    const ProgramResult stopped = run({"--trace", "stop"});
    EXPECT_TRUE(exited(stopped, 1, "stop was done, but " + unwritable));
    EXPECT_THAT(stopped.err, HasSubstr("> "));
}

TEST_F(InstrumentCommandsTest, RecordPrintsBothPartsAndTheVolumeWithoutTheLine)
{
    const std::string out = home.path() + "/record.txt";
    ProgramResult result = run({"record", method, "--volume", "2", "--out", out}, "--no-reply *");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::string record = home.read("record.txt");
    EXPECT_EQ(record.rfind("GC\t", 0), 0u) << record;
    EXPECT_THAT(record,
                holdsAll({"Oven: Initial temperature\t50 °C",
                          "Sample Run Injection Parameter\n\nInjection Volume (ul)   -   2.00\n"}));
    EXPECT_GT(record.find("Injection Volume"), record.rfind("GC\t"));
}

TEST_F(InstrumentCommandsTest, DemoRunsAWholeSession)
{
    ProgramResult result = runProgram({"--home", home.path(), "demo"}, {}, 110);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_THAT(result.out, holdsAll({"== status", "== load the method", "== inject from vial 1",
                                      "== experiment record", "Injection Volume (ul)   -   1.00",
                                      "demo finished"}));
    EXPECT_THAT(result.err, HasSubstr("POST RUN"));
}

}  // namespace
}  // namespace gc6890::hosttest
