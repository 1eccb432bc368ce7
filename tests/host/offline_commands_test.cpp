// The host program's commands that need no instrument: method files, sequence files and
// journals, settings, ports, the comms log, and its command line itself.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "audit/audit_trail.h"
#include "program_run.h"
#include "sequence/journal.h"
#include "support/source_tree.h"

namespace gc6890::hosttest {
namespace {

const std::filesystem::path kSource = gc6890::test::sourcePath();

using OfflineCommandsTest = HomeTest;

TEST_F(OfflineCommandsTest, MethodNewWritesAStartingMethodThatChecksShowsAndIsNeverReplaced)
{
    const std::string file = home.path() + "/start.toml";
    ProgramResult created = run({"method", "new", home.path() + "/start"});  // .toml added
    ASSERT_EQ(created.exitCode, 0) << created.err;
    EXPECT_EQ(created.out, file + "\n");

    ProgramResult check = run({"method", "check", file});
    EXPECT_EQ(check.exitCode, 0) << check.err;
    EXPECT_EQ(check.out, file + ": ok, run length 20.00 min\n");
    EXPECT_EQ(run({"method", "length", file}).out, "20.00\n");

    // Show prints every key, defaults too; its output read back is the same method again
    // (the first line names the file).
    ProgramResult shown = run({"method", "show", file});
    ASSERT_EQ(shown.exitCode, 0) << shown.err;
    EXPECT_THAT(shown.out, holdsAll({"split_ratio = 50.0", "[sampler.syringe]", "cryo_type"}))
        << "defaults are shown too";
    auto body = [](const std::string& text) { return text.substr(text.find('\n')); };
    EXPECT_EQ(body(run({"method", "show", write("copy.toml", shown.out)}).out), body(shown.out));

    const std::string before = home.read("start.toml");
    EXPECT_TRUE(exited(run({"method", "new", file}), 2, "already exists"));
    EXPECT_EQ(home.read("start.toml"), before);
}

// The commands that would use the instrument refuse the file before any session opens.
TEST_F(OfflineCommandsTest, BadMethodFilesAreRefusedWithFileLineAndKey)
{
    const std::string bad = write("bad.toml", "[gc]\n[gc.oven]\nmax_temp = 300.0\n[sampler]\n");
    const std::vector<std::vector<std::string>> commands = {
        {"method", "check", bad},
        {"method", "show", bad},
        {"method", "length", bad},
        {"--port", "sim", "load", bad},
        {"--port", "sim", "run", bad, "--vial", "1"},
        {"--port", "sim", "record", bad}};
    for (const std::vector<std::string>& command : commands) {
        ProgramResult result = run(command);
        EXPECT_TRUE(exited(result, 2, bad + ":3: gc.oven.max_temp: unknown key")) << command[2];
        EXPECT_EQ(result.out, "");
        EXPECT_FALSE(home.exists("c/dravik/hp6890.err")) << "no session was opened";
    }
    EXPECT_TRUE(exited(run({"method", "check", home.path() + "/absent.toml"}), 2, "absent.toml"));
}

TEST_F(OfflineCommandsTest, ABareMethodNameIsLookedUpInTheMethodFolder)
{
    const std::string folder = home.path() + "/methods";
    std::filesystem::create_directories(folder);
    ASSERT_EQ(run({"config", "set", "MethodFolder", folder}).exitCode, 0);
    ASSERT_EQ(run({"method", "new", folder + "/split"}).exitCode, 0);
    ProgramResult result = run({"method", "length", "split"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "20.00\n");
}

TEST_F(OfflineCommandsTest, ConfigStoresValidValuesAndRefusesOthersWithAMessage)
{
    EXPECT_EQ(run({"config", "path"}).out, home.path() + "/registry.ini\n");

    EXPECT_EQ(run({"config", "set", "port", "/dev/ttyUSB0"}).exitCode, 0);
    EXPECT_EQ(run({"config", "set", "Parity", "e"}).out, "Parity = E\n");
    EXPECT_EQ(run({"config", "set", "StatusFrequency", "1000"}).exitCode, 0);
    // A credential is stored but never shown, not even as it is set.
    const std::string token(40, 'k');
    EXPECT_EQ(run({"config", "set", "Token", token}).out, "Token = ********\n");
    EXPECT_EQ(run({"config", "set", "MqttPasswordFile", "/etc/pw"}).out,
              "MqttPasswordFile = /etc/pw\n");
    const std::string store = home.read("registry.ini");
    EXPECT_THAT(store, holdsAll({"[Inlets\\Hubrel\\Varnock]", "Port=/dev/ttyUSB0", "Parity=E",
                                 "[Inlets\\Hubrel\\System Timings]", "Token=" + token}));
    const std::string shown = run({"config", "show"}).out;
    EXPECT_THAT(shown, holdsAll({"Port = /dev/ttyUSB0\n", "BaudRate = 9600  (default)",
                                 "Token = ********\n", "MqttPasswordFile = /etc/pw\n"}));
    EXPECT_EQ(shown.find(token), std::string::npos);

    const struct {
        const char *key, *value, *says;
    } refusals[] = {
        {"Baud", "9600", "unknown key \"Baud\""},
        {"BaudRate", "9601", "BaudRate=9601 is not a standard rate"},
        {"Timeout", "soon", "\"soon\" is not a whole number"},
        {"StatusFrequency", "6000", "6000 is outside 100 to 5500 ms"},
        {"FlowControl", "hardware", "not one of none, rtscts, xonxoff"},
        {"Port", "ttyUSB0", "neither sim nor a device path"},
        {"Port", "/dev/ttyS0\nBaudRate=1", "Port: the value holds a control character (code 10)"},
    };
    for (const auto& r : refusals)
        EXPECT_TRUE(exited(run({"config", "set", r.key, r.value}), 2, r.says)) << r.key;
    EXPECT_EQ(home.read("registry.ini"), store) << "a refused value changes nothing";
}

TEST_F(OfflineCommandsTest, PortsAlwaysOffersTheSimulator)
{
    ProgramResult result = run({"ports"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_THAT(result.out, ::testing::HasSubstr("sim  (the built-in simulator)\n"));
}

TEST_F(OfflineCommandsTest, LogShowsTheCommsLogOrSaysWhereItWillBe)
{
    EXPECT_TRUE(exited(run({"log"}), 0, home.path() + "/c/dravik/hp6890.err"));

    write("c/dravik/hp6890.err", "Sat Dec  5 10:00:00 2026\t\tGC READ STATUS: Failed\n");
    EXPECT_EQ(run({"log"}).out, "Sat Dec  5 10:00:00 2026\t\tGC READ STATUS: Failed\n");
}

TEST_F(OfflineCommandsTest, AuditVerifyExitsOneNamingTheFaultAndShowSelects)
{
    EXPECT_EQ(run({"audit", "verify"}).out, "no audit trail yet in " + home.path() + "/audit\n");
    {
        std::string error;
        auto trail = AuditTrail::open(home.path() + "/audit", error);
        ASSERT_TRUE(trail) << error;
        for (const char* user : {"ana", "ben"})
            ASSERT_TRUE(trail->append(
                {user, "operator", "http", "10.0.4.17", "load", {{"method", "c16"}}, "ok"}, error));
    }
    EXPECT_TRUE(exited(run({"audit", "verify"}), 0, ""));
    const ProgramResult shown = run({"audit", "show", "--user", "ben"});
    EXPECT_THAT(shown.out, holdsAll({"ben (operator)  http 10.0.4.17  load  method=c16  ok\n"}));
    EXPECT_EQ(shown.out.find("ana"), std::string::npos);
    EXPECT_TRUE(exited(run({"audit", "show", "--since", "soon"}), 2, "\"soon\" is no ISO-8601"));

    std::string text = home.read("audit/audit.jsonl");
    text.replace(text.find("ana"), 3, "eve");
    write("audit/audit.jsonl", text);
    EXPECT_TRUE(
        exited(run({"audit", "verify"}), 1,
               "the audit trail is not whole: " + home.path() + "/audit/audit.jsonl:1: changed"));
}

TEST_F(OfflineCommandsTest, CommandLineMistakesAreUsageErrorsAndHelpIsEverywhere)
{
    EXPECT_EQ(run({}).exitCode, 2);
    EXPECT_EQ(run({"frobnicate"}).exitCode, 2);
    EXPECT_EQ(run({"run", "m.toml"}).exitCode, 2) << "--vial is required";
    EXPECT_EQ(run({"zones", "sideways"}).exitCode, 2);
    EXPECT_EQ(run({"--yes", "--no", "ports"}).exitCode, 2);

    ProgramResult version = run({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind("gc6890 ", 0), 0u) << version.out;

    const std::vector<std::vector<std::string>> commands = {
        {"status"},        {"load"},          {"run"},
        {"stop"},          {"reset"},         {"zones"},
        {"gc-on"},         {"record"},        {"method", "check"},
        {"method", "new"}, {"config", "set"}, {"ports"},
        {"log"},           {"demo"}};
    for (std::vector<std::string> command : commands) {
        const std::string name = command.back();
        command.push_back("--help");
        ProgramResult help = run(command);
        EXPECT_EQ(help.exitCode, 0) << name;
        EXPECT_THAT(help.out, ::testing::HasSubstr(name));
    }
}

TEST_F(OfflineCommandsTest, CheckReadsTheSequenceAndEveryMethodItNames)
{
    ProgramResult example =
        run({"sequence", "check", (kSource / "sequences/example.toml").string()});
    EXPECT_EQ(example.exitCode, 0) << example.err;
    EXPECT_THAT(example.out, holdsAll({"ok, \"example\": 6 rows, 7 injections, on error pause",
                                       "methods/ptv.toml: run length"}));

    write("bad.toml", "[gc]\n[gc.oven]\nmax_temp = 300.0\n[sampler]\n");
    const std::string rows = "name = \"t\"\n[[row]]\nvial = 1\nmethod = \"" +
                             (kSource / "methods/ptv.toml").string() +
                             "\"\n[[row]]\nvial = 2\nmethod = \"bad\"\n";
    const std::string tray = write("tray.toml", rows);
    // Each file refused, named with the place and what is wrong there.
    const auto refused = [&](const std::string& file, const std::string& error) {
        return exited(run({"sequence", "check", file}), 2, file + error);
    };
    EXPECT_TRUE(refused(tray, ":5: row[2].method: " + home.path() +
                                  "/bad.toml:3: gc.oven.max_temp: unknown key"));
    EXPECT_TRUE(refused(home.path() + "/absent.toml", ": cannot read"));
}

TEST_F(OfflineCommandsTest, StatusReadsTheNewestJournalAndSaysWhereItGoesOn)
{
    EXPECT_TRUE(exited(run({"sequence", "status"}), 2, "no sequence has run here"));

    const std::string folder = home.path() + "/sequences";
    std::string error;
    for (const std::int64_t startMs : {1796527800000, 1796527900000}) {
        std::unique_ptr<JournalWriter> journal = JournalWriter::create(folder, startMs, error);
        ASSERT_TRUE(journal) << error;
        JournalEntry started{.kind = StepKind::SequenceStarted,
                             .runId = journal->runId(),
                             .file = "tray.toml",
                             .content = "name = \"tray\"\n[[row]]\nvial = 4\nmethod = \"m\"\n"
                                        "injections = 2\nsample = \"std\"\n[[row]]\nvial = 9\n"
                                        "method = \"m\"\n"};
        ASSERT_TRUE(journal->append(started, error)) << error;
        for (const JournalEntry& step : std::vector<JournalEntry>{
                 {.kind = StepKind::Injected, .row = 1, .injection = 1},
                 {.kind = StepKind::RecordWritten, .row = 1, .injection = 1, .path = "/r/004-1"},
                 {.kind = StepKind::AboutToInject, .row = 1, .injection = 2}})
            ASSERT_TRUE(journal->append(step, error)) << error;
    }

    // The newer run was killed while it wrote its next line.
    std::ofstream(journalPath(folder, "20261206T033140Z-01"), std::ios::app) << "{\"step\":\"inj";

    ProgramResult result = run({"sequence", "status"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_THAT(result.out,
                holdsAll({"run 20261206T033140Z-01: \"tray\" (tray.toml), running\n",
                          "last line was cut short",
                          "1    1    4      std                  record written  /r/004-1\n",
                          "1    2    4      std                  uncertain       \n",
                          "2    1    9      vial 9               not started     \n",
                          "goes on at row 1, injection 2: ask the GC and the sampler whether the "
                          "vial was injected"}));
    ProgramResult older = run({"sequence", "status", "20261206T033000Z-01"});
    EXPECT_EQ(older.exitCode, 0) << older.err;
    EXPECT_EQ(older.out.find("cut short"), std::string::npos) << older.out;
}

}  // namespace
}  // namespace gc6890::hosttest
