// The sections of the new method: each rule of the inlet, column, oven, valve, event and
// detector steps with a case that takes its branch. A case ends at a failure exit, or at a
// missing last signal definition so that everything sent before it can be checked.
#include "method/download_fixture.h"

namespace gc6890::test {
namespace {

constexpr const char* kLastSignalMissing = "Failed to find signal 2 definition (part3)";

struct SectionCase {
    const char* name;
    std::string method;                                          // the stored method's text
    std::vector<std::pair<std::string, std::string>> gcChanges;  // head -> text ("" removes)
    std::vector<std::string> immediates;  // "GCHTRR" stands for the run table
    std::string box;
    std::string runTable = "0.00,7,1,0.02,7,0";
};

std::string withColumn2(const std::string& column2)
{
    return std::string(kSplitMethod) + column2;
}

std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    text.replace(text.find(from), from.size(), to);
    return text;
}

class SectionTest : public DownloadTest {
protected:
    void run(const SectionCase& c)
    {
        SCOPED_TRACE(c.name);
        for (const auto& [head, text] : c.gcChanges) {
            if (text.empty())
                withoutCommand(head);
            else
                replaceCommand(head, text);
        }
        const std::string path = writeMethod(c.method);
        scriptStart();
        scriptReadBack();
        for (const auto& text : c.immediates) {
            if (text == "GCHTRR")
                scriptRunTable(c.runTable);
            else
                line->expect(text);
        }
        EXPECT_EQ(RunMethodDownload(*this, gcState(), CString(path)), 0);
        ASSERT_FALSE(boxes.empty());
        EXPECT_EQ(boxes.back(), "6890 Method Error: " + c.box);
        EXPECT_NE(log().find(c.box), std::string::npos);
        EXPECT_TRUE(line->unmet().empty()) << "never sent: " << line->unmet().front();
    }
};

const std::vector<std::string> kUsualImmediates = {"C2HTCF 0,0,0,5,4,0,0,0", "V7HTCF 3,0,0,0.00,0",
                                                   "GCHTRR"};

TEST_F(SectionTest, RequiredCommandsAndInletChecks)
{
    const std::string backColumn = replaced(kSplitMethod, "inlet = \"front\"", "inlet = \"back\"");
    const SectionCase cases[] = {
        {"identity", kSplitMethod, {{"CCCCIW", ""}}, {}, "Failed to find workfile identity"},
        {"no inlets",
         kSplitMethod,
         {{"IFIFRC", ""}, {"IBIBRC", ""}},
         {},
         "GC has no inlets defined"},
        {"column 1 on a missing back inlet",
         backColumn,
         {{"IBIBRC", ""}},
         {},
         "GC has no back inlet"},
        {"column 2 on a missing front inlet",
         withColumn2("[gc.column2]\ninlet = \"front\"\n"),
         {{"IFIFRC", ""}},
         {},
         "GC has no front inlet"},
        {"back inlet type 3 without a back inlet",
         std::string(kSplitMethod) + "[gc.back_inlet]\ntype = 3\n",
         {{"IBIBRC", ""}},
         {},
         "Failed to find back inlet definition"},
        {"front inlet definition", kSplitMethod, {{"IFIFCW", ""}}, {}, "No front inlet definition"},
        {"front detector definition",
         kSplitMethod,
         {{"DFDFCW", ""}},
         {},
         "Front detector definition not found"},
        {"column 2 definition",
         kSplitMethod,
         {{"C2C2CW", ""}},
         {},
         "Column 2 definition not found"},
        {"valve 7",
         kSplitMethod,
         {{"V7V7CW", ""}},
         {"C2HTCF 0,0,0,5,4,0,0,0"},
         "Valve 7 definition not found"},
        {"oven definition",
         kSplitMethod,
         {{"OVOVCW", ""}},
         kUsualImmediates,
         "Failed to find oven definition"},
        {"oven not present",
         kSplitMethod,
         {{"OVOVCW", "OVOVCW 1,0,0,350"}},
         kUsualImmediates,
         "Oven error (NOT PRESENT)"},
        {"oven state 7",
         kSplitMethod,
         {{"OVOVCW", "OVOVCW 1,7,0,350"}},
         kUsualImmediates,
         "Oven error (??7?"
         "?)"},
        {"no EPC",
         kSplitMethod,
         {{"GCGCCW", "GCGCCW 1,0,0,0"}},
         kUsualImmediates,
         "No EPC on this GC. Must be present for Tavik control"},
        {"oven program",
         kSplitMethod,
         {{"OVOVTR", ""}},
         kUsualImmediates,
         "Failed to find existing oven temperature profile"},
        {"back inlet program",
         kSplitMethod,
         {{"IBIBTR", ""}},
         kUsualImmediates,
         "Failed to find back inlet temperature profile"},
        {"front zone",
         kSplitMethod,
         {{"IFIFTZ", ""}},
         kUsualImmediates,
         "Front Inlet Temp Zone state not found"},
        {"PTV cryo",
         replaced(kSplitMethod, "type = 1", "type = 5"),
         {{"IFIFCR", ""}},
         kUsualImmediates,
         "Can't find Inlet Cryo Setpoints Parameters"},
        {"front pneumatics",
         kSplitMethod,
         {{"IFIFSP", ""}},
         kUsualImmediates,
         "Existing front inlet is not COC, PTV or S/S"},
        {"missing DFDFNZ",
         kSplitMethod,
         {{"DFDFNZ", ""}, {"DFDFTR", ""}},
         kUsualImmediates,
         "Front detector invalid"},
        {"back pneumatic zone",
         kSplitMethod,
         {{"IBIBNZ", ""}},
         kUsualImmediates,
         "Back Inlet Pneumatic Zone state not found"},
        {"column compensation",
         kSplitMethod,
         {{"CCCCC2", ""}},
         kUsualImmediates,
         "Failed to find current column comp for column2"},
        {"signal 1",
         kSplitMethod,
         {{"S1S1CA", ""}},
         kUsualImmediates,
         "Failed to find signal 1 definition (part2)"},
    };
    for (const SectionCase& c : cases) {
        freshGC();
        run(c);
    }
}

TEST_F(SectionTest, MissingAuxiliaryLeavesTheDisplay)
{
    run({"aux 3",
         kSplitMethod,
         {{"A3A3CW", ""}},
         {"C2HTCF 0,0,0,5,4,0,0,0"},
         "AUX3 definition not found"});
    EXPECT_EQ(displayClears, 0);
}

TEST_F(SectionTest, ImmediateConfigurationFollowsWhatDiffers)
{
    // Column 1 with carrier gas 1 (the GC has 2) and a film of 0.255, column 2 configured
    // on the back inlet with the GC's own dimensions, oven maximum and cryo changed, a run
    // table that holds only the end item.
    const std::string method = replaced(
        replaced(replaced(kSplitMethod, "[gc.column1]\n",
                          "[gc.column1]\ncarrier_gas = 1\nfilm_thickness = 0.255\n"),
                 "max_temperature = 350.0",
                 "max_temperature = 325.0\ncryo = true\ncryo_use_temperature = -20.5\ncryo_timeout "
                 "= 3.5"),
        "[gc.front_inlet]", "[gc.column2]\ninlet = \"back\"\ncarrier_gas = 3\n[gc.front_inlet]");
    run({"immediates",
         method,
         {{"S2S2ZA", ""}},
         {"IFHTCF 1,10.00,0.00", "IBHTCF 3,10.00,0.00", "C1HTCF 3000,250,25,0,1,0,0,0",
          "V7HTCF 3,0,0,0.00,0", "GCHTRR", "GCHTRT 0.00,7,1", "GCHTRT 0.02,7,0", "OVHTCF 325",
          "OVHTCR 1,0,-20,3.50,0,0"},
         kLastSignalMissing,
         "0.02,7,0,0.00,0,0"});
}

TEST_F(SectionTest, BothColumnsOnOneInletWarnAndColumnOneWins)
{
    const std::string method = withColumn2("[gc.column2]\ninlet = \"front\"\ncarrier_gas = "
                                           "3\n[gc.column2.pressure]\ninitial = 30.0\n");
    run({"same inlet",
         method,
         {{"S2S2ZA", ""}},
         {"C2HTCF 3000,250,25,0,4,0,0,0", "V7HTCF 3,0,0,0.00,0", "GCHTRR"},
         kLastSignalMissing});
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes.front(),
              "Warning: Both columns connected to the same inlet.\n Ignoring column 2 mode");
    EXPECT_FLOAT_EQ(frontPressure.m_fInitialValue, 12.0f);
    EXPECT_NE(log().find("Both columns connected to the same inlet"), std::string::npos);
}

TEST_F(SectionTest, FrontInletTypeZeroKeepsTheGCsInletCommands)
{
    const std::string method = replaced(kSplitMethod, "type = 1", "type = 0");
    run({"type 0", method, {{"S2S2ZA", ""}}, kUsualImmediates, kLastSignalMissing});
    // Nothing to check on the wire before the failure; the kept commands are checked in the
    // block by the inlet edit tests.
}

}  // namespace
}  // namespace gc6890::test
