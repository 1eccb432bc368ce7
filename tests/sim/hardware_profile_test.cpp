// Hardware profiles: what a profile installs is what the GC reports (configuration answer,
// inlet definition, the stored method's commands in its read-back blocks), and a profile
// the format does not know is refused naming its line and key.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "sim/hardware_profile.h"
#include "sim_test_support.h"
#include "support/source_tree.h"
#include "support/temp_home.h"

namespace gc6890::sim {
namespace {

using namespace simtest;

namespace fs = std::filesystem;

// Profiles are written to a home folder of the test's own, removed after it.
using gc6890::test::TempHome;

TEST(HardwareProfile, TheGCReportsWhatTheProfileInstalls)
{
    struct Case {
        const char* name;
        const char* profile;
        const char* configuration;  // the GCHTCF answer after the firmware
        const char* backDefinition;
        std::vector<const char*> present, absent = {};  // commands in the read-back
    } const cases[] = {
        {.name = "no profile: today's GC",
         .profile = nullptr,
         .configuration = "OVEN MAX 350,OVEN LIMIT 450,FRONT INLET S/S,FRONT CRYO,BACK INLET "
                          "S/S,COLUMN 1,COLUMN 2,FRONT DET FID,BACK DET FID,EPC,ALS",
         .backDefinition = "2,1,1,0,2,10.00,0.00",
         .present = {"IFIFCR 0,0,0,0,0,0,0;", "IFIFSP ", "IBIBSP ", "C2C2NR ", "IFIFRC", "IBIBRC",
                     "V7V7CW", "GCGCCW", "OVOVTR", "C1C1NR", "CCCCC2", "S2S2ZA", "CCCCCE"}},
        {.name = "split/splitless front only",
         .profile = "[inlets.front]\nkind = \"split_splitless\"\ngas = \"helium\"\n"
                    "[inlets.back]\nkind = \"none\"\n[detectors]\nback = \"none\"\n",
         .configuration = "OVEN MAX 350,OVEN LIMIT 450,FRONT INLET S/S,BACK INLET NONE,COLUMN "
                          "1,FRONT DET FID,BACK DET NONE,EPC,ALS",
         .backDefinition = "8,0,0,0,2,0.00,0.00",
         .present = {"IFIFCW 2,1,1,0,1,", "IFIFSP ", "DBDBCW 0,0,0,0;"},
         .absent = {"IFIFCR", "IBIBRC", "IBIBTR", "C2C2NR"}},
        {.name = "PTV back, cryo oven",
         .profile = "[inlets.back]\nkind = \"ptv\"\n[oven]\ncryo = \"co2\"\nmaximum = 300\n",
         .configuration = "OVEN MAX 300,OVEN LIMIT 300,CRYO CO2,FRONT INLET S/S,BACK INLET "
                          "PTV,COLUMN 1,COLUMN 2,FRONT DET FID,BACK DET FID,EPC,ALS",
         .backDefinition = "12,1,1,0,2,10.00,0.00",
         .present = {"IBIBGV 0,0,100000,0,0.00,0,0,0.00,0,0.00,0;", "OVOVCW 1,3,1,300;"},
         .absent = {"IBIBSP", "IFIFCR"}},
        {.name = "PTV front, on-column back",
         .profile = "[inlets.front]\nkind = \"ptv\"\n[inlets.back]\nkind = \"cool_on_column\"\n",
         .configuration = "OVEN MAX 350,OVEN LIMIT 450,FRONT INLET PTV,FRONT CRYO,BACK INLET "
                          "COC,COLUMN 1,COLUMN 2,FRONT DET FID,BACK DET FID,EPC,ALS",
         .backDefinition = "1,1,1,0,2,10.00,0.00",
         .present = {"IFIFCR 0,0,0,0,0,0,0;", "IFIFGV ", "IBIBCP "},
         .absent = {"IFIFSP", "IBIBSP"}},
        {.name = "purged packed, no EPC, no sampler",
         .profile = "[inlets.front]\nkind = \"purged_packed\"\n[columns.2]\nepc = false\n"
                    "[sampler]\ninstalled = false\n",
         .configuration = "OVEN MAX 350,OVEN LIMIT 450,FRONT INLET PP,BACK INLET S/S,COLUMN "
                          "1,COLUMN 2,FRONT DET FID,BACK DET FID",
         .backDefinition = "2,1,1,0,2,10.00,0.00",
         .present = {"IFIFCW 3,", "IFIFGP ", "GCGCCW 1,0,0,0;"},
         .absent = {"IFIFSP"}},
    };
    const TempHome home;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimConfig config;
        std::string error;
        if (c.profile) {
            ASSERT_TRUE(loadHardwareProfile(home.write("gc.toml", c.profile), config, error))
                << error;
        }
        InProcessLine line(config);
        EXPECT_EQ(ask(opened(line), "GCHTCF ?"),
                  std::string("HTGCCF HP 6890 GC,A.03.05,") + c.configuration);
        EXPECT_EQ(ask(line, "IBHTCW ?"), std::string("HTIBCW ") + c.backDefinition);
        // Read back in blocks from an empty opening to the closing "E", none longer than
        // the GC's 431 characters, the workfile's identity first.
        const std::vector<std::string> blocks = readBack(line);
        EXPECT_GE(blocks.size(), 4u);
        EXPECT_EQ(blocks.front(), "HTCCMD B;\"\"");
        EXPECT_EQ(blocks.back(), "HTCCMD E;\"NONE\"");
        for (const auto& block : blocks)
            EXPECT_LE(block.size(), 431u);
        std::string method;  // the commands read back, each ended by ";"
        for (const std::string& command : commandsOf(blocks))
            method += command + ";";
        EXPECT_EQ(method.rfind("CCCCIW", 0), 0u);
        for (const char* text : c.present)
            EXPECT_NE(method.find(text), std::string::npos) << text;
        for (const char* text : c.absent)
            EXPECT_EQ(method.find(text), std::string::npos) << text;
    }
}

// The stored method sent back with one command edited (its start `from` made `to`; left
// out when `to` is empty), as a user's block might carry it: the check answers the code
// and the command, the trace names the rule, and nothing is installed (a block within the
// rules, answered 0, is installed, read back as sent, and gives the GC its run length).
// The refusals a download built from a method file can provoke are the host program's
// method rules'.
TEST(StoredMethod, CheckRefusesABlockTheGCCannotTakeNamingTheRule)
{
    struct Case {
        const char *from, *to, *answer, *refusal;
        bool running = false;   // the GC in a run when the block is checked
        double runMinutes = 0;  // the installed method's run length
    } const cases[] = {
        // The installed limit is taken; one degree over it is not.
        {"OVOVCW 1,3,0,350", "OVOVCW 1,3,0,400", "HTCCMC 0,0", "", false, 2.0 + 20.0 + 5.0},
        {"OVOVCW 1,3,0,350", "OVOVCW 1,3,0,401", "HTCCMC 16,23",
         "OVOVCW (command 23): oven maximum above the installed 400"},
        {"IFIFSP 0,1,100000,50000", "IFIFSP 0,1,100000,1500000", "HTCCMC 1,34",
         "IFIFSP (command 34): argument 3: split flow above 1000 mL/min"},
        {"DFDFFI 400,30,", "DFDFFI 400,300,", "HTCCMC 1,44",
         "DFDFFI (command 44): argument 1: detector fuel flow above 100 mL/min"},
        {"OVOVTR 50,", "OVOVTR 50.5,", "HTCCMC 3,26",
         "OVOVTR (command 26): argument 0 50.5 is not a whole number (oven temperature)"},
        {"OVOVSP 0.50", "OVOVSP 0.50,1", "HTCCMC 9,28",
         "OVOVSP (command 28): 2 arguments, it takes 1"},
        {"S1S1CS", "", "HTCCMC 10,0", "required command S1S1CS absent"},
        {"GCGCPU", "GCGCPU", "HTCCMC 27,0", "the GC is running", true},
        // Another oven program: the run length is the installed one's.
        {"OVOVTR 50,2.00,10.00,250,5.00", "OVOVTR 60,1.00,20.00,200,2.00", "HTCCMC 0,0", "", false,
         1.0 + 7.0 + 2.0},
    };
    const TempHome home;
    SimConfig config;  // an oven installed for 400 C at most
    std::string error;
    ASSERT_TRUE(
        loadHardwareProfile(home.write("gc.toml", "[oven]\nmaximum = 400\n"), config, error));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.from);
        InProcessLine line(config);
        EXPECT_EQ(ask(opened(line), "CCHTMC"), "HTCCMC 4,0");  // no block to check yet
        std::string refusal;
        keepRefusal(line, refusal);
        std::vector<std::string> commands;
        for (const std::string& command : commandsOf(readBack(line))) {
            if (!command.starts_with(c.from))
                commands.push_back(command);
            else if (*c.to)
                commands.push_back(c.to + command.substr(std::strlen(c.from)));
        }
        download(line, commands);
        if (c.running)
            line.instrument().gc().startRun(0);
        EXPECT_EQ(ask(line, "CCHTMC"), c.answer);
        EXPECT_EQ(refusal, c.refusal);
        const bool refused = *c.refusal != '\0';
        EXPECT_EQ(ask(line, "CCHTMI").rfind("HTCCMI 0", 0) == 0, !refused) << "installed";
        if (refused)
            continue;
        // Installed: read back as sent, and nothing left to install.
        EXPECT_EQ(commandsOf(readBack(line)), commands);
        EXPECT_DOUBLE_EQ(line.instrument().gc().runLengthMinutes(), c.runMinutes);
        EXPECT_EQ(ask(line, "CCHTMI"), "HTCCMI 4,0");
    }
}

TEST(HardwareProfile, RefusesWhatTheFormatDoesNotKnowNamingLineAndKey)
{
    // The examples shipped with the simulator all load.
    for (const auto& entry : fs::directory_iterator(gc6890::test::sourcePath("sim/profiles"))) {
        SimConfig config;
        std::string error;
        EXPECT_TRUE(loadHardwareProfile(entry.path(), config, error)) << error;
    }
    struct Case {
        const char* profile;
        const char* error;  // after the path
    } const cases[] = {
        {"[inlets.front]\nkind = \"ptv\"\nkinds = 1\n", ":3: inlets.front.kinds: unknown key"},
        {"[inlets.back]\nkind = \"split\"\n",
         ":2: inlets.back.kind: unknown value \"split\" (none, split_splitless, cool_on_column, "
         "ptv, purged_packed)"},
        {"[oven]\nmaximum = \"hot\"\n", ":2: oven.maximum: wrong type"},
        {"\n[oven]\nmaximum = 500\n", ":3: oven.maximum: out of range (50 to 450 C)"},
        {"[inlets.back]\ncryo = true\n",
         ":1: inlets.back.cryo: only the front inlet has a cryo command"},
        {"[oven\n", ":1: "},
    };
    const TempHome home;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.profile);
        SimConfig config;
        config.gc.firmware = "B.01.00";
        std::string error;
        const std::string path = home.write("gc.toml", c.profile);
        EXPECT_FALSE(loadHardwareProfile(path, config, error));
        EXPECT_EQ(error.rfind(path + c.error, 0), 0u) << error;
        EXPECT_EQ(config.gc.firmware, "B.01.00");  // left as it was
        EXPECT_FALSE(config.gc.hardware);
    }
}

}  // namespace
}  // namespace gc6890::sim
