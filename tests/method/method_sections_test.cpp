// The sections of the new method: each rule of the inlet, column, oven, valve, event and
// detector steps with a case that takes its branch. A case ends at a failure exit, or at a
// missing last signal definition so that everything sent before it can be checked.
#include "method/download_fixture.h"

namespace gc6890::test {
namespace {

constexpr const char* kLastSignalMissing = "Failed to find signal 2 definition (part3)";

const std::vector<std::string> kUsualImmediates = {"C2HTCF 0,0,0,5,4,0,0,0", "V7HTCF 3,0,0,0.00,0",
                                                   "GCHTRR"};
// Column 2's alone: a failure at the valves or auxiliaries comes before the others.
const std::vector<std::string> kColumn2Only = {kUsualImmediates.front()};

struct SectionCase {
    std::string box;                                      // the failure's box and log text
    std::vector<std::pair<std::string, std::string>> gc;  // head -> text ("" removes)
    std::vector<std::string> sent = kUsualImmediates;     // the immediates; "GCHTRR": run table
    std::string method = kSplitMethod;                    // the stored method's text
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
        SCOPED_TRACE(c.box);
        for (const auto& [head, text] : c.gc) {
            for (std::string& command : gcMethod)
                if (command.starts_with(head))
                    command = text;
            std::erase(gcMethod, "");
        }
        const std::string path = writeMethod(c.method);
        scriptStart();
        scriptReadBack();
        for (const auto& text : c.sent) {
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

TEST_F(SectionTest, RequiredCommandsAndInletChecks)
{
    const std::vector<std::string> none;
    // Column 1 on the back inlet; column 2 on the front; a back on-column inlet; a PTV front.
    const std::string onBack = replaced(kSplitMethod, "inlet = \"front\"", "inlet = \"back\"");
    const std::string column2 = withColumn2("[gc.column2]\ninlet = \"front\"\n");
    const std::string backCOC = std::string(kSplitMethod) + "[gc.back_inlet]\ntype = 3\n";
    const std::string ptv = replaced(kSplitMethod, "type = 1", "type = 5");
    const SectionCase cases[] = {
        {.box = "Failed to find workfile identity", .gc = {{"CCCCIW", ""}}, .sent = none},
        {.box = "GC has no inlets defined", .gc = {{"IFIFRC", ""}, {"IBIBRC", ""}}, .sent = none},
        {.box = "GC has no back inlet", .gc = {{"IBIBRC", ""}}, .sent = none, .method = onBack},
        {.box = "GC has no front inlet", .gc = {{"IFIFRC", ""}}, .sent = none, .method = column2},
        {.box = "Failed to find back inlet definition",
         .gc = {{"IBIBRC", ""}},
         .sent = none,
         .method = backCOC},
        {.box = "No front inlet definition", .gc = {{"IFIFCW", ""}}, .sent = none},
        {.box = "Front detector definition not found", .gc = {{"DFDFCW", ""}}, .sent = none},
        {.box = "Column 2 definition not found", .gc = {{"C2C2CW", ""}}, .sent = none},
        {.box = "Valve 7 definition not found", .gc = {{"V7V7CW", ""}}, .sent = kColumn2Only},
        {.box = "Failed to find oven definition", .gc = {{"OVOVCW", ""}}},
        {.box = "Oven error (NOT PRESENT)", .gc = {{"OVOVCW", "OVOVCW 1,0,0,350"}}},
        {.box = "Oven error (MISSING SENSOR)", .gc = {{"OVOVCW", "OVOVCW 1,1,0,350"}}},
        {.box = "Oven error (??7?\?)", .gc = {{"OVOVCW", "OVOVCW 1,7,0,350"}}},
        {.box = "No EPC on this GC. Must be present for Tavik control",
         .gc = {{"GCGCCW", "GCGCCW 1,0,0,0"}}},
        {.box = "Failed to find existing oven temperature profile", .gc = {{"OVOVTR", ""}}},
        {.box = "Failed to find back inlet temperature profile", .gc = {{"IBIBTR", ""}}},
        {.box = "Front Inlet Temp Zone state not found", .gc = {{"IFIFTZ", ""}}},
        {.box = "Can't find Inlet Cryo Setpoints Parameters",
         .gc = {{"IFIFCR", ""}},
         .method = ptv},
        {.box = "Existing front inlet is not COC, PTV or S/S", .gc = {{"IFIFSP", ""}}},
        {.box = "Front detector invalid", .gc = {{"DFDFNZ", ""}, {"DFDFTR", ""}}},
        {.box = "Back Inlet Pneumatic Zone state not found", .gc = {{"IBIBNZ", ""}}},
        {.box = "Failed to find current column comp for column2", .gc = {{"CCCCC2", ""}}},
        {.box = "Failed to find signal 1 definition (part2)", .gc = {{"S1S1CA", ""}}},
        // The GC's cryo already the method's (its second type): no cryo command is sent.
        {.box = kLastSignalMissing,
         .gc = {{"OVOVCW", "OVOVCW 1,3,2,350"}, {"S2S2ZA", ""}},
         .method =
             replaced(kSplitMethod, "[gc.oven]\n", "[gc.oven]\ncryo = true\ncryo_type = 1\n")},
    };
    for (const SectionCase& c : cases) {
        freshGC();
        run(c);
    }
}

TEST_F(SectionTest, MissingAuxiliaryLeavesTheDisplay)
{
    run({.box = "AUX3 definition not found", .gc = {{"A3A3CW", ""}}, .sent = kColumn2Only});
    EXPECT_EQ(displayClears, 0);
}

TEST_F(SectionTest, ImmediateConfigurationFollowsWhatDiffers)
{
    // Column 1 with carrier gas 3 (the GC has 2) and a film of 0.255, column 2 configured
    // on the back inlet with the GC's own dimensions and argon/methane (the GC's code 0),
    // oven maximum and cryo changed, a run table that holds only the end item.
    const std::string method = replaced(
        replaced(replaced(kSplitMethod, "[gc.column1]\n",
                          "[gc.column1]\ncarrier_gas = 3\nfilm_thickness = 0.255\n"),
                 "max_temperature = 350.0",
                 "max_temperature = 325.0\ncryo = true\ncryo_use_temperature = -20.5\ncryo_timeout "
                 "= 3.5"),
        "[gc.front_inlet]", "[gc.column2]\ninlet = \"back\"\ncarrier_gas = 4\n[gc.front_inlet]");
    run({.box = kLastSignalMissing,
         .gc = {{"S2S2ZA", ""}},
         .sent = {"IFHTCF 3,10.00,0.00", "IBHTCF 0,10.00,0.00", "C1HTCF 3000,250,25,0,1,0,0,0",
                  "V7HTCF 3,0,0,0.00,0", "GCHTRR", "GCHTRT 0.00,7,1", "GCHTRT 0.02,7,0",
                  "OVHTCF 325", "OVHTCR 1,0,-20,3.50,0,0"},
         .method = method,
         .runTable = "0.02,7,0,0.00,0,0"});
}

TEST_F(SectionTest, BothColumnsOnOneInletWarnAndColumnOneWins)
{
    const std::string method = withColumn2("[gc.column2]\ninlet = \"front\"\ncarrier_gas = "
                                           "3\n[gc.column2.pressure]\ninitial = 30.0\n");
    run({.box = kLastSignalMissing,
         .gc = {{"S2S2ZA", ""}},
         .sent = {"C2HTCF 3000,250,25,0,4,0,0,0", "V7HTCF 3,0,0,0.00,0", "GCHTRR"},
         .method = method});
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes.front(),
              "Warning: Both columns connected to the same inlet.\n Ignoring column 2 mode");
    EXPECT_FLOAT_EQ(frontPressure.m_fInitialValue, 12.0f);
    EXPECT_NE(log().find("Both columns connected to the same inlet"), std::string::npos);
}

}  // namespace
}  // namespace gc6890::test
