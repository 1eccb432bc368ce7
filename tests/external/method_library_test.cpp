#include "external/method_library.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "external/method_file_toml.h"
#include "support/source_tree.h"
#include "support/temp_home.h"

namespace {

struct Loaded {
    CHP6890Method gc;
    CALS6890Method als{"ALS 6890 Method", 1, CALSInjection(0), CALSSyringe()};
};

int load(const std::string& path, Loaded& out, unsigned flags = CFileS::modeRead)
{
    CFileS file;
    if (!file.Open(path.c_str(), flags, nullptr))
        return 0;
    CArchiveS archive(&file, CArchiveS::load, 4096, nullptr);
    return SerializeGCandALS(archive, out.gc, out.als);
}

// A method's values as bytes: its records hold 4-byte numbers only, without padding (the
// run length, a double, is taken alone), so equal bytes are equal values.
std::string bytes(const CHP6890Method& gc, const CALS6890Method& als)
{
    std::string out;
    auto add = [&out](const auto&... parts) {
        (out.append(reinterpret_cast<const char*>(&parts), sizeof parts), ...);
    };
    add(gc.m_dRunLength, gc.m_Oven, gc.m_Columns, gc.m_Inlets, gc.m_PTV, gc.m_SolventVent,
        gc.m_PTVCryo, gc.m_PostRun, als.m_Status, als.m_Injection, als.m_Syringe);
    return out;
}

// Method files in a home folder of the test's own.
class MethodFileTest : public ::testing::Test {
protected:
    gc6890::test::TempHome home;
};

}  // namespace

TEST(ExampleMethods, ListingsShowSamplerLabelsAndEveryGCSection)
{
    Loaded m;
    ASSERT_EQ(1, load(gc6890::test::sourcePath("methods/ptv.toml"), m));
    CGenericExpRecord record;
    m.als.Print(&record, "AUTOSAMPLER");
    m.gc.Print(&record, "GC");
    for (const char* line :
         {"AUTOSAMPLER\tHP6890 Autosampler Syringe\n", "AUTOSAMPLER\tSlow Plunger\tOn\n",
          "AUTOSAMPLER\tPre Dwell Time(min)\t0.1\n",
          "GC\tPTV solvent vent: Ramp 1\t720 °C/min to 350 °C, hold 5 min\n",
          "GC\tOven: Cryo\tOn\n", "GC\tColumn 2: Configured\tOff\n"})
        EXPECT_NE(record.Text().find(line), std::string::npos) << line;
}

TEST_F(MethodFileTest, WrittenMethodLoadsBackFieldByField)
{
    CHP6890Method gc;
    gc.m_dRunLength = 42.125;
    gc.m_Oven.m_fInitialTemperature = 47.3f;
    for (int i = 0; i < COvenProgram::MaxRamps; ++i)
        gc.m_Oven.m_Ramps[i] = {1.5f + static_cast<float>(i), 60.0f + 10.0f * static_cast<float>(i),
                                0.7f};
    gc.m_Oven.m_nCryoOn = 1;
    gc.m_Oven.m_fCryoTimeout = 12.34f;
    gc.m_Columns[1].m_nConfigured = 1;
    gc.m_Columns[1].m_nInlet = CColumn::BackInlet;
    gc.m_Columns[1].m_fFilmThickness = 0.255f;
    gc.m_Columns[1].m_Pressure.m_fInitialValue = 12.3456f;
    gc.m_Columns[1].m_Pressure.m_Ramps[0] = {0.25f, 30.0f, 1.0f};
    gc.m_Inlets[1].m_nType = 4;
    gc.m_Inlets[1].m_OnColumnRamp.m_Program.m_Ramps[2] = {3.0f, 100.0f,
                                                          0.0f};  // unlisted: after a rate 0
    gc.m_Inlets[1].m_Splitless.m_nPurgeTime = 7;
    gc.m_PTV[2].m_nPurgeTime = 3;
    gc.m_PTV[3].m_fSpare = -2.5f;
    gc.m_SolventVent.m_fVentPressure = 0.1f;
    gc.m_PTVCryo.m_fUseTemperature = -20.0f;
    gc.m_PostRun = {1, 2.5f, 300.0f, 9.0f};
    CALS6890Method als;
    als.m_Status.m_nFirstVial = 99;
    als.m_Status.m_nTrailerValue = 4;
    als.m_Status.m_nBothInjectors = 1;
    als.m_Injection.m_nVolume = 50;
    als.m_Injection.m_nSolventBWashes = 6;
    als.m_Syringe.m_fPostDwellTime = 0.7f;
    als.m_Syringe.m_nViscosityDelay = 5;

    const std::string path = home.path() + "/written.toml";
    {
        CFileS file;
        ASSERT_EQ(1, file.Open(path.c_str(), CFileS::modeCreate | CFileS::modeWrite, nullptr));
        CArchiveS archive(&file, CArchiveS::store);
        ASSERT_EQ(1, SerializeGCandALS(archive, gc, als));
        ASSERT_EQ(1, file.Close()) << file.GetErrorText();
    }
    Loaded back;
    ASSERT_EQ(1, load(path, back)) << CFileS::GetLastErrorText();
    // The unlisted ramp after a zero rate ends the program and is not kept.
    gc.m_Inlets[1].m_OnColumnRamp.m_Program.m_Ramps[2] = CRamp();
    // The text first, for a readable difference; then every field, set or default.
    EXPECT_EQ(gc6890::writeMethodToml(gc, als), gc6890::writeMethodToml(back.gc, back.als));
    EXPECT_TRUE(bytes(gc, als) == bytes(back.gc, back.als)) << "a field written or read wrong";
}

TEST_F(MethodFileTest, AbsentValuesTakeTheirDefaultsAndIntegersServeForFloats)
{
    Loaded m;
    m.gc.m_Oven.m_fInitialTemperature = 99.0f;
    m.als.m_Injection.m_nTag = 5;
    const std::string text =
        "[gc]\nrun_length = 12\n[gc.oven]\n[gc.column1]\nlength = 60\n[sampler]\n";
    ASSERT_EQ(1, load(home.write("ints.toml", text), m)) << CFileS::GetLastErrorText();
    const CHP6890Method defaults;
    EXPECT_EQ(defaults.m_Oven.m_fInitialTemperature, m.gc.m_Oven.m_fInitialTemperature);
    EXPECT_EQ(0, m.gc.m_Columns[1].m_nConfigured);
    EXPECT_EQ(1, m.als.m_Status.m_nFirstVial);
    EXPECT_EQ(5, m.als.m_Injection.m_nTag);  // kept from construction
    EXPECT_EQ(12.0, m.gc.m_dRunLength);
    EXPECT_EQ(60.0f, m.gc.m_Columns[0].m_fLength);
    EXPECT_EQ(1, m.gc.m_Columns[0].m_nConfigured);  // present, so in use
}

// A missing file: the download's box (method_download_test.cpp) and the host program's
// message naming it (offline_commands_test.cpp).
TEST_F(MethodFileTest, MalformedFilesNameFileLineAndKey)
{
    struct Case {
        std::string text;
        std::string expected;  // after "<path>:"
    } const cases[] = {
        {"[gc]\nrun_length = = 3\n", "2:14: not TOML"},
        {"[gc]\n[gc.oven]\ninitial_temperature = \"hot\"\n[sampler]\n",
         "3: gc.oven.initial_temperature: expected a number, found a string"},
        {"[gc]\n[gc.oven]\n[sampler]\nfirst_vial = 1.5\n",
         "4: sampler.first_vial: expected an integer, found a float"},
        {"[gc]\n[gc.oven]\n[sampler]\nfirst_vial = 0\n",
         "4: sampler.first_vial: 0 is out of range (1.0 to 10000.0)"},
        {"[gc]\n[gc.oven]\n[gc.front_inlet]\ntype = 10\n[sampler]\n",
         "4: gc.front_inlet.type: 10 is not one of \"none\", \"split\","},
        {"[gc]\n[gc.oven]\n[gc.column1]\ncarrier_gas = \"xenon\"\n[sampler]\n",
         "4: gc.column1.carrier_gas: \"xenon\" is not one of \"helium\", \"hydrogen\", "
         "\"nitrogen\", \"argon_methane\" (or its number, 1 to 4)"},
        {"[gc]\n[gc.oven]\n[sampler]\n[extra]\n", "4: extra: unknown key"},
        {"[gc]\n[gc.oven]\n[gc.column1.pressure]\nramps = "
         "[{rate=1.0,final=2.0},{rate=1.0,final=3.0},\n"
         "{rate=1.0,final=4.0},{rate=1.0,final=5.0}]\n[sampler]\n",
         "4: gc.column1.pressure.ramps: 4 ramps, at most 3 allowed"},
        {"[gc]\n[gc.oven]\nramps = [\n{rate=1.0,final=2.0,hold=1.0}]\n[sampler]\n",
         "4: gc.oven.ramps[1].hold: unknown key"},
        {"[gc]\n[gc.oven]\n", "1: sampler: required table is missing"},
        {"[gc]\n[gc.oven]\n[gc.column2]\ninlet = \"middle\"\n[sampler]\n",
         "4: gc.column2.inlet: \"middle\" is not one of"},
        {"[gc]\n[gc.oven]\nramps = [{rate=0.0,final=2.0}]\n[sampler]\n",
         "3: gc.oven.ramps[1].rate: a ramp's rate must be above 0"},
        {"[gc]\n[gc.oven]\nramps = [{rate=1.0}]\n[sampler]\n",
         "3: gc.oven.ramps[1].final: required in every ramp"},
        {"[gc]\n[gc.oven]\n[sampler]\nfront_injector = 1\n",
         "4: sampler.front_injector: expected true or false, found an integer"},
        {"[gc]\noven = 3\n[sampler]\n", "2: gc.oven: expected a table, found an integer"},
        {"[gc]\n[gc.oven]\ninitial_time = nan\n[sampler]\n",
         "3: gc.oven.initial_time: nan is out of range"},
        {"[sampler]\n[gc]\n[gc.oven]\n", "1: sampler: the sampler method must follow"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        const std::string path = home.write("malformed.toml", c.text);
        Loaded m;
        m.gc.m_Oven.m_fInitialTemperature = 123.0f;
        CFileS file;
        EXPECT_EQ(0, file.Open(path.c_str(), CFileS::modeRead, nullptr));
        const std::string message = file.GetErrorText().str();
        EXPECT_EQ(0u, message.find(path + ":" + c.expected)) << message;
        EXPECT_EQ(file.GetErrorText(), CFileS::GetLastErrorText());
        CArchiveS archive(&file, CArchiveS::load);
        EXPECT_EQ(0, SerializeGCandALS(archive, m.gc, m.als));
        EXPECT_EQ(123.0f, m.gc.m_Oven.m_fInitialTemperature);  // nothing loaded
    }
}

TEST_F(MethodFileTest, FailedWriteNamesThePath)
{
    CFileS file;
    ASSERT_EQ(1, file.Open((home.path() + "/no-such-dir/x.toml").c_str(),
                           CFileS::modeCreate | CFileS::modeWrite, nullptr));
    CArchiveS archive(&file, CArchiveS::store);
    Loaded m;
    SerializeGCandALS(archive, m.gc, m.als);
    EXPECT_EQ(0, file.Close());
    EXPECT_NE(std::string::npos, file.GetErrorText().str().find("no-such-dir"));
}

TEST(MethodListing, RecordShowsTheInletModesInUseWithNamesAndUnits)
{
    struct Case {
        int inlets[2];  // front, back
        std::vector<const char*> shown, hidden;
    } const cases[] = {
        {.inlets = {0, 0},
         .shown = {"Front inlet: Inlet type\tnone\n", "Column 2: Configured\tOff\n",
                   "Column 1: Carrier gas\thydrogen\n", "Column 1 program: Initial value\t0 psi\n"},
         .hidden = {"split: ", "splitless: ", "on-column", "PTV", "Column 2: Length"}},
        {.inlets = {9, 1},
         .shown = {"Front inlet: Inlet type\tptv_solvent_vent\n",
                   "PTV solvent vent: Vent pressure\t0 psi\n", "PTV cryo: Coolant\tco2\n",
                   "Back inlet split: Temperature\t250 °C\n"},
         .hidden = {"Front inlet split: ", "Back inlet splitless: ", "PTV split: "}},
        {.inlets = {2, 6},
         .shown = {"Front inlet splitless: Purge time\t1 min\n",
                   "PTV split: Split flow\t50 mL/min\n"},
         .hidden = {"PTV cryo", "Front inlet split: ", "Back inlet split: ", "PTV splitless: "}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.inlets[0]) + "/" + std::to_string(c.inlets[1]));
        CHP6890Method gc;
        gc.m_Columns[0].m_nConfigured = 1;
        gc.m_Inlets[CHP6890Method::Front].m_nType = c.inlets[0];
        gc.m_Inlets[CHP6890Method::Back].m_nType = c.inlets[1];
        CGenericExpRecord record;
        gc.Print(&record, "GC");
        for (const char* text : c.shown)
            EXPECT_NE(record.Text().find(std::string("GC\t") + text), std::string::npos)
                << text << record.Text();
        for (const char* text : c.hidden)
            EXPECT_EQ(record.Text().find(text), std::string::npos) << text;
    }
}

TEST_F(MethodFileTest, CodedValuesReadAsNamesOrAsTheirNumbers)
{
    const std::string names = "[gc]\n[gc.oven]\ncryo_type = \"n2\"\n[gc.column1]\n"
                              "carrier_gas = \"argon_methane\"\ncontrol_mode = \"ramped_flow\"\n"
                              "[gc.front_inlet]\ntype = \"ptv_pulsed_split\"\n"
                              "[gc.back_inlet]\ntype = \"on_column_ramp\"\n"
                              "[gc.ptv_cryo]\ncoolant = \"n2\"\n[sampler]\n";
    const std::string numbers = "[gc]\n[gc.oven]\ncryo_type = 1\n[gc.column1]\n"
                                "carrier_gas = 4\ncontrol_mode = 4\n"
                                "[gc.front_inlet]\ntype = 8\n[gc.back_inlet]\ntype = 4\n"
                                "[gc.ptv_cryo]\ncoolant = 1\n[sampler]\n";
    Loaded byName, byNumber;
    ASSERT_EQ(1, load(home.write("names.toml", names), byName)) << CFileS::GetLastErrorText();
    ASSERT_EQ(1, load(home.write("numbers.toml", numbers), byNumber)) << CFileS::GetLastErrorText();
    // The same method either way, and written back with the names.
    const std::string text = gc6890::writeMethodToml(byName.gc, byName.als);
    EXPECT_EQ(text, gc6890::writeMethodToml(byNumber.gc, byNumber.als));
    for (const char* line :
         {"carrier_gas = \"argon_methane\"\n", "control_mode = \"ramped_flow\"\n",
          "type = \"ptv_pulsed_split\"\n", "type = \"on_column_ramp\"\n", "cryo_type = \"n2\"\n",
          "coolant = \"n2\"\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
}

TEST(MethodObjects, RunLengthAndInletAccessors)
{
    CHP6890Method gc;
    gc.m_Oven.m_fInitialTemperature = 100.0f;
    gc.m_Oven.m_fInitialTime = 1.0f;
    gc.m_Oven.m_Ramps[0] = {10.0f, 50.0f, 2.0f};   // cooling counts as well: 5 min
    gc.m_Oven.m_Ramps[2] = {10.0f, 500.0f, 2.0f};  // after a zero rate: not part of the program
    EXPECT_DOUBLE_EQ(8.0, gc.GetRunLength());
    gc.m_dRunLength = 12.5;
    EXPECT_DOUBLE_EQ(12.5, gc.GetRunLength());
    gc.m_PTV[1].m_nZoneOn = 0;
    gc.m_Inlets[1].m_nType = 6;
    EXPECT_EQ(0, gc.GetInletZoneOn(CHP6890Method::Back));
    EXPECT_EQ(1, gc.GetInletZoneOn(CHP6890Method::Back, 5));
    EXPECT_EQ(0, gc.GetInletZoneOn(CHP6890Method::Front, 10));
    EXPECT_EQ(&gc.m_PTV[1].m_Program, gc.GetInletProgram(CHP6890Method::Front, 6));
    EXPECT_EQ(nullptr, gc.GetInletProgram(CHP6890Method::Front, 2));
}
