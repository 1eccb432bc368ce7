// The GC's method rules, each family twice: through the simulator (gc6890 load: the GC
// refuses the download with its code's text) and through gc6890 method check (before any
// download: the file, the line and the key, the limit and the GC's text). The texts come
// from the data file typed in from the GC's list, not from the code's table.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <utility>

#include "program_run.h"
#include "support/simulator_program.h"
#include "support/source_tree.h"

namespace gc6890::hosttest {
namespace {

std::string gcText(int code)
{
    static const std::map<int, std::string> texts = [] {
        std::map<int, std::string> read;
        std::ifstream in(gc6890::test::sourcePath("tests/data/method_error_texts.txt"));
        for (std::string line; std::getline(in, line);)
            if (!line.empty() && line[0] != '#')
                read[std::stoi(line)] = line.substr(line.find('\t') + 1);
        return read;
    }();
    return texts.at(code);
}

// Split injection on the front inlet, column 1 at 12.5 psi, two oven ramps.
const char* const kMethod = R"([gc]
[gc.oven]
max_temperature = 350.0
initial_temperature = 50.0
initial_time = 1.0
ramps = [
    { rate = 10.0, final = 180.0, time = 0.0 },
    { rate = 20.0, final = 250.0, time = 1.0 },
]
[gc.column1]
control_mode = 1
inlet = "front"
[gc.column1.pressure]
initial = 12.5
[gc.front_inlet]
type = 1
[sampler]
)";

const char* const kOvenCryo = "cryo = true\nramps = [";

struct Family {
    int code;
    std::vector<std::pair<const char*, const char*>> edits;  // text of kMethod, replacement
    const char* key;
    const char* mark = nullptr;     // the text on the key's line; none: the (first) edit's
    const char* profile = nullptr;  // none: the simulator's default GC
    bool download = true;           // a block the download can send (not a file's own fault)
};

using MethodRulesTest = HomeTest;

TEST_F(MethodRulesTest, EachFamilyIsRefusedByTheSimulatorAndCaughtByTheCheckBeforehand)
{
    const char* const coldOven = "[inlets.front]\nkind = \"split_splitless\"\n";
    const Family families[] = {
        {.code = 1,
         .edits = {{"initial = 12.5", "initial = 200.0"}},
         .key = "gc.column1.pressure.initial"},
        {.code = 2,
         .edits = {{"initial_temperature = 50.0", "initial_temperature = -90.0"}},
         .key = "gc.oven.initial_temperature"},
        {.code = 1,  // the inlet pneumatics: a split/splitless inlet's split mode
         .edits = {{"type = 1", "type = 1\n[gc.front_inlet.split]\nsplit_ratio = 8000.0"}},
         .key = "gc.front_inlet.split.split_ratio",
         .mark = "8000"},
        {.code = 1,  // and a PTV's pulsed split mode
         .edits = {{"type = 1", "type = 8\n[gc.ptv_pulsed_split]\npulse_pressure = 160.0"}},
         .key = "gc.ptv_pulsed_split.pulse_pressure",
         .mark = "160",
         .profile = "[inlets.front]\nkind = \"ptv\"\n"},
        {.code = 3,
         .edits = {{"max_temperature = 350.0", "max_temperature = \"hot\""}},
         .key = "gc.oven.max_temperature",
         .download = false},
        {.code = 9,
         .edits = {{"ramps = [", "ramps = [\n{ rate = 1.0, final = 60.0 },\n"
                                 "{ rate = 1.0, final = 70.0 },\n{ rate = 1.0, final = 80.0 },\n"
                                 "{ rate = 1.0, final = 90.0 },\n{ rate = 1.0, final = 99.0 },"}},
         .key = "gc.oven.ramps",
         .download = false},
        {.code = 10,
         .edits = {{"final = 180.0, ", ""}},
         .key = "gc.oven.ramps[1].final",
         .mark = "rate = 10.0",
         .download = false},
        {.code = 13,
         .edits = {{"[gc.front_inlet]", "[gc.column2]\ninlet = \"front\"\n[gc.front_inlet]"}},
         .key = "gc.column2.configured",
         .profile = "[inlets.back]\nkind = \"none\"\n"},
        {.code = 15, .edits = {{"type = 1", "type = 3"}}, .key = "gc.front_inlet.type"},
        {.code = 16,
         .edits = {{"max_temperature = 350.0", "max_temperature = 480.0"}},
         .key = "gc.oven.max_temperature"},
        {.code = 17,
         .edits = {{"initial_temperature = 50.0", "initial_temperature = 360.0"}},
         .key = "gc.oven.initial_temperature"},
        {.code = 19,
         .edits = {{"final = 250.0", "final = 400.0"}},
         .key = "gc.oven.ramps[2].final"},
        {.code = 26,
         .edits = {{"initial = 12.5",
                    "initial = 12.5\nramps = [ { rate = 200.0, final = 30.0 } ]"}},
         .key = "gc.column1.pressure.ramps[1].rate",
         .mark = "rate = 200.0"},
        {.code = 56,
         .edits = {{"[sampler]",
                    "[gc.post_run]\nenabled = true\noven_temperature = 400.0\n[sampler]"}},
         .key = "gc.post_run.oven_temperature",
         .mark = "oven_temperature"},
        {.code = 57,
         .edits = {{"ramps = [", kOvenCryo},
                   {"type = 1", "type = 5\n[gc.ptv_cryo]\ncryo_on = true\ncoolant = 1"}},
         .key = "gc.ptv_cryo.cryo_on",
         .mark = "cryo_on",
         .profile = "[inlets.front]\nkind = \"ptv\"\n[oven]\ncryo = \"co2\"\n"},
        {.code = 58,
         .edits = {{"ramps = [", kOvenCryo}},
         .key = "gc.oven.cryo",
         .profile = coldOven},
        {.code = 59, .edits = {{"ramps = [", kOvenCryo}}, .key = "gc.oven.cryo"},
    };
    for (const Family& f : families) {
        SCOPED_TRACE("code " + std::to_string(f.code) + ", " + f.key);
        std::string text = kMethod;
        for (const auto& [from, to] : f.edits)
            text.replace(text.find(from), std::string(from).size(), to);
        const std::string method = write("m.toml", text);
        const std::size_t marked = text.find(f.mark ? f.mark : f.edits[0].second);
        const long line = 1 + std::count(text.begin(), text.begin() + marked, '\n');
        // Without a profile the check asks the simulator the device "sim" starts.
        std::vector<std::string> environment, check = {"method", "check", method, "--port", "sim"};
        if (f.profile) {
            const std::string profile = write("gc.toml", f.profile);
            environment.push_back("GC6890_SIM_OPTIONS=--profile " + profile);
            check.resize(3);
            check.insert(check.end(), {"--profile", profile});
        }
        const std::string answer =
            "the GC answers " + std::to_string(f.code) + " \"" + gcText(f.code) + "\"";

        const ProgramResult checked = run(check, environment);
        EXPECT_TRUE(exited(checked, 2, method + ":" + std::to_string(line) + ": " + f.key));
        EXPECT_THAT(checked.err, ::testing::HasSubstr(answer));
        if (f.download) {
            EXPECT_TRUE(exited(run({"load", method}, environment), 1,
                               "Failed method check\n" + gcText(f.code) + "\n"));
        }
    }
}

// 27: a GC in a run takes no method. The check on --port asks the GC's run state.
TEST_F(MethodRulesTest, ACheckAgainstAGCInARunIsRefused)
{
    gc6890::test::SimulatorProgram sim;
    ASSERT_TRUE(sim.start({"--speed", "60"}));
    const std::string method = write("m.toml", kMethod);
    auto with = [&](std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"--port", sim.devicePath()});
        return run(arguments);
    };
    ASSERT_EQ(with({"method", "check", method}).exitCode, 0) << "an idle GC takes it";
    const ProgramResult started = with({"run", method, "--vial", "1", "--no-wait"});
    ASSERT_EQ(started.exitCode, 0) << started.err;
    // The run starts once the sampler has injected (8 s of instrument time, 0.13 s here) and
    // lasts the GC's 27 min oven program (27 s here).
    ProgramResult checked;
    for (int attempt = 0; attempt < 50 && checked.exitCode != 2; ++attempt)
        checked = with({"method", "check", method});
    EXPECT_TRUE(exited(checked, 2,
                       method + ": the GC is running; the GC answers 27 \"" + gcText(27) + "\""));
}

}  // namespace
}  // namespace gc6890::hosttest
