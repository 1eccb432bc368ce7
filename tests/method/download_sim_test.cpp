// Each example method downloaded into the simulator in process, and every inlet type sent
// and read back whole. (The download over a pseudo-terminal is the host program's load
// case, instrument_commands_test.cpp; a hang-up at each line of it is
// robustness/hang_up_test.cpp's.)
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>

#include "method/download_fixture.h"
#include "method/method_readback.h"
#include "sim/hardware_profile.h"
#include "support/in_process_simulator.h"
#include "support/source_tree.h"

namespace gc6890::test {
namespace {

namespace fs = std::filesystem;

class SimDownloadTest : public InProcessSimulatorTest, public RecordingDownloadHost {
protected:
    void TearDown() override
    {
        channel.reset();
        EXPECT_EQ(LockedOut(), 0);
        EXPECT_EQ(lockResets, unlockResets);
    }
    // A channel on a fresh simulator with this hardware profile (none: the default GC), its
    // GC side started; no box and nothing received yet.
    void startSimulator(const fs::path& profile = {})
    {
        channel.reset();
        boxes.clear();
        config = {};
        std::string error;
        ASSERT_TRUE(profile.empty() || sim::loadHardwareProfile(profile, config, error)) << error;
        channel = std::make_unique<CHP6890SerialComms>();
        ASSERT_EQ(channel->StartGCComms(), 1);
        hostChannel = channel.get();
        received.clear();
    }
    int download(const fs::path& method)
    {
        return RunMethodDownload(*this, gcState(), CString(method.string()));
    }

    std::unique_ptr<CHP6890SerialComms> channel;
};

// Each value in its place is the byte-exact download's (method_download_test.cpp).
TEST_F(SimDownloadTest, EveryExampleMethodIsTakenByTheGC)
{
    int count = 0;
    for (const auto& entry : fs::directory_iterator(sourcePath("methods"))) {
        if (entry.path().extension() != ".toml")
            continue;
        SCOPED_TRACE(entry.path().filename().string());
        ++count;
        // The PTV method needs a GC with a PTV inlet: the default one refuses it (15).
        startSimulator(entry.path().filename() == "ptv.toml"
                           ? sourcePath("sim/profiles/ptv_front.toml")
                           : fs::path());
        EXPECT_EQ(download(entry.path()), 1) << (boxes.empty() ? "" : boxes.back());
        EXPECT_TRUE(boxes.empty() || boxes.back().rfind("Warning", 0) == 0);
    }
    EXPECT_GE(count, 4);
}

// The commands of the last block in these lines: those of its "HEAD C" lines ("CCHTMD" as
// the simulator receives them, "HTCCMD" as it answers) after the last "CCHTMD B".
std::vector<std::string> blockCommands(const std::vector<std::string>& lines,
                                       const std::string& head)
{
    std::vector<std::string> commands;
    for (const std::string& text : lines) {
        if (text.starts_with("CCHTMD B"))
            commands.clear();
        if (!text.starts_with(head + " C;"))
            continue;
        const auto first = text.find('"');
        const auto last = text.rfind('"');
        std::istringstream quoted(text.substr(first + 1, last - first - 1));
        for (std::string command; std::getline(quoted, command, ';');)
            if (!command.empty())
                commands.push_back(command);
    }
    return commands;
}

// One method for every inlet type: column 1 on SIDE's inlet at 12.5 psi (125000 on the
// line), helium, and each type's record with values of its own.
std::string inletMethod(int type, const std::string& side)
{
    std::string text = R"([gc]
ptv_splitless = { PTV, purge_time = 3 }
ptv_split = { PTV, split_ratio = 30.0, split_flow = 35.0 }
ptv_pulsed_splitless = { PTV, pulse_pressure = 25.0, pulse_time = 0.75, purge_time = 4 }
[gc.oven]
max_temperature = 350.0
initial_temperature = 40.0
initial_time = 1.0
ramps = [ { rate = 10.0, final = 250.0, time = 5.0 } ]
[gc.column1]
carrier_gas = "helium"
inlet = "SIDE"
pressure = { initial = 12.5 }
[gc.SIDE_inlet]
type = TYPE
split = { temperature = 260.0, split_ratio = 20.5, split_flow = 24.0 }
splitless = { zone_on = false, temperature = 240.0, purge_time = 2 }
on_column_track = { zone_on = false }
[gc.SIDE_inlet.on_column_ramp]
initial_temperature = 45.0
initial_time = 0.5
ramps = [ { rate = 12.0, final = 250.0, time = 3.0 } ]
[gc.ptv_pulsed_split]
PTV
pulse_pressure = 20.0
pulse_time = 0.5
split_ratio = 40.0
split_flow = 45.0
[gc.ptv_solvent_vent]
PTV
vent_time = 0.08
vent_flow = 100.0
vent_pressure = 5.0
purge_flow = 60.0
purge_time = 2.0
[gc.ptv_cryo]
cryo_on = true
coolant = 1
fault_detection = true
use_temperature = 50.0
timeout = 30.0
timeout_enabled = true
[sampler]
)";
    // The PTV records' shared keys: a line each in a table, "," between them in an inline one.
    const std::string ptv = "gas_saver = true\nsaver_flow = 20.0\nsaver_time = 2.5\n"
                            "initial_temperature = 40.0\ninitial_time = 0.1\n"
                            "ramps = [ { rate = 720.0, final = 350.0, time = 5.0 } ]\n";
    std::string ptvInline = ptv;
    std::ranges::replace(ptvInline, '\n', ',');
    const std::map<std::string, std::string> words = {
        {"SIDE", side}, {"TYPE", std::to_string(type)}, {"PTV\n", ptv}, {"PTV,", ptvInline}};
    for (const auto& [word, value] : words)
        for (std::size_t at; (at = text.find(word)) != std::string::npos;)
            text.replace(at, word.size(), value);
    return text;
}

TEST_F(SimDownloadTest, EveryInletTypeDownloadsWholeIntoAGCThatHasItsInlet)
{
    // The GC reads back what it was sent; the front inlet's commands in it are written out
    // here by hand, the back inlet's are the same with IBIB for IFIF. A back inlet takes only
    // on-column or split/splitless pneumatics: the download refuses a GC whose back inlet is
    // a PTV before it sends anything.
    // An inlet's commands: its code, its temperature program (zone on, initial temperature
    // and time, the first ramp; the second and third stay zero), the zone, the pneumatics.
    auto commands = [](const std::string& code, const std::string& program,
                       const std::string& rest) {
        return "IFIFRC 2,1;IFIFCW " + code + ",1,1,0,1,10.00,0.00;IFIFTR " + program +
               ",0.00,0,0.00,0.00,0,0.00;IFIFTZ " + rest + ";IFIFNZ 1";
    };
    // Split/splitless: a temperature alone; on-column: the program, no pneumatics of its own.
    auto ss = [&](const std::string& temperature, const char* zone, const std::string& pneumatics) {
        return commands("2", "0," + temperature + ",0.00,0.00,0,0.00",
                        zone + (";IFIFSP " + pneumatics));
    };
    auto coc = [&](const std::string& program, const char* zone) {
        return commands("1", program, zone + std::string(";IFIFCP 0,1,100000"));
    };
    // The PTV types 5 to 9: the same program and cryo, their own pneumatics, the same saver.
    auto gv = [&](const std::string& pneumatics) {
        return commands("12", "0,40,0.10,720.00,350,5.00",
                        "1;IFIFCR 1,1,1,50,30,1,0;IFIFGV " + pneumatics + ",20000,2.50,1");
    };
    const char* const kPtv = "ptv";
    const char* const kSplit = "split_splitless";
    const char* const kOnColumn = "cool_on_column";
    struct Row {
        int type;
        const char* kind;  // the inlet the GC has on the side
        std::string sent;  // the front inlet's commands in the block
    } const rows[] = {
        // Type 0 keeps what the GC holds: its default PTV or split/splitless settings.
        {.type = 0,
         .kind = kPtv,
         .sent = commands("12", "0,250,0.00,0.00,0,0.00",
                          "1;IFIFCR 0,0,0,0,0,0,0;IFIFGV 0,0,100000,0,0.00,0,0,0.00,0,0.00,0")},
        {.type = 0, .kind = kSplit, .sent = ss("250", "1", "0,1,100000,50000,20.00,0,0,0,0,0,0")},
        {.type = 1, .kind = kSplit, .sent = ss("260", "1", "0,1,125000,24000,20.50,0,0,0,0,0,0")},
        {.type = 2, .kind = kSplit, .sent = ss("240", "0", "0,0,125000,20000,0.00,0,0,0,0,0,0")},
        {.type = 3, .kind = kOnColumn, .sent = coc("1,250,0.00,0.00,0,0.00", "0")},
        {.type = 4, .kind = kOnColumn, .sent = coc("0,45,0.50,12.00,250,3.00", "1")},
        {.type = 5, .kind = kPtv, .sent = gv("0,0,125000,30000,0.00,0,0,0.00")},
        {.type = 6, .kind = kPtv, .sent = gv("0,1,125000,35000,30.00,0,0,0.00")},
        {.type = 7, .kind = kPtv, .sent = gv("0,3,125000,40000,0.00,0,250000,0.75")},
        {.type = 8, .kind = kPtv, .sent = gv("0,2,125000,45000,40.00,0,200000,0.50")},
        {.type = 9, .kind = kPtv, .sent = gv("0,4,125000,100000,0.08,60000,50000,2.00")},
    };
    for (const Row& row : rows) {
        for (const std::string side : {"front", "back"}) {
            SCOPED_TRACE("type " + std::to_string(row.type) + " on a " + row.kind + " " + side +
                         " inlet");
            const std::string profile = home.write(
                "gc.toml",
                format("[inlets.front]\nkind = \"%s\"\n[inlets.back]\nkind = \"%s\"\n",
                       side == "front" ? row.kind : "none", side == "back" ? row.kind : "none"));
            const std::string method = home.write("inlet.toml", inletMethod(row.type, side));
            startSimulator(profile);
            const int loaded = download(method);
            if (side == "back" && std::string(row.kind) == kPtv) {
                EXPECT_EQ(loaded, 0);
                EXPECT_EQ(boxes, std::vector<std::string>{
                                     "6890 Method Error: Existing back inlet is not COC or S/S"});
                EXPECT_EQ(first("CCHTMD B"), std::string::npos) << "a block was sent";
                continue;
            }
            ASSERT_EQ(loaded, 1) << (boxes.empty() ? "" : boxes.back());
            const std::vector<std::string> sent = blockCommands(received, "CCHTMD");
            CCommandStringList readBack;
            answered.clear();
            ASSERT_EQ(ReadMethodFromGC(*channel, readBack), 1);
            EXPECT_EQ(blockCommands(answered, "HTCCMD"), sent);
            const std::string head = side == "front" ? "IFIF" : "IBIB";
            std::string inlet;
            for (const std::string& command : sent)
                if (command.starts_with(head))
                    inlet += (inlet.empty() ? "" : ";") + command;
            std::string expected = row.sent;
            for (std::size_t at = 0; (at = expected.find("IFIF", at)) != std::string::npos; at += 4)
                expected.replace(at, 4, head);
            EXPECT_EQ(inlet, expected);
        }
    }
}

}  // namespace
}  // namespace gc6890::test
