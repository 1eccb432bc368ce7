// The inlet, column and oven tables of the download, and the edits of the GC's inlet
// commands (kinds kept, values converted to them).
#include <gtest/gtest.h>

#include "comms/hp6890_serial_comms.h"
#include "method/inlet_settings.h"
#include "method/section_settings.h"

namespace {

using namespace gc6890;

CCommandString command(const char* line)
{
    return CCommandString(CString(line));
}

TEST(DownloadTables, CodeTables)
{
    const int inletCodes[] = {7, 2, 2, 1, 1, 12, 12, 12, 12, 12, 7};
    for (int type = 0; type <= 10; ++type)
        EXPECT_EQ(GCInletCode(type), inletCodes[type]) << "inlet type " << type;
    const int gasCodes[] = {7, 1, 2, 3, 0, 7};
    for (int gas = 0; gas <= 5; ++gas)
        EXPECT_EQ(GCGasCode(gas), gasCodes[gas]) << "gas " << gas;
    EXPECT_EQ(ColumnInletCode(1), 0);
    EXPECT_EQ(ColumnInletCode(2), 1);
    EXPECT_EQ(ColumnInletCode(5), 5);
    EXPECT_EQ(ColumnInletCode(3), -1);
    const int modeCodes[][2] = {{0, 1}, {2, 0}, {1, 0}, {3, 1}, {0, 1}, {0, 1}};
    for (int mode = 0; mode <= 5; ++mode) {
        EXPECT_EQ(ColumnPneumaticModeOf(mode).code, modeCodes[mode][0]) << "mode " << mode;
        EXPECT_EQ(ColumnPneumaticModeOf(mode).flowFlag, modeCodes[mode][1]) << "mode " << mode;
    }
    EXPECT_EQ(OvenCryoCode(0, 1), 0);
    EXPECT_EQ(OvenCryoCode(1, 0), 1);
    EXPECT_EQ(OvenCryoCode(1, 1), 2);
    EXPECT_EQ(OvenStateText(0), "NOT PRESENT");
    EXPECT_EQ(OvenStateText(1), "MISSING SENSOR");
    EXPECT_EQ(OvenStateText(7), "??7??");
}

// A run table as the channel fills it: decimals as floats, the rest as integers.
CIntFloatArray runTable(const std::string& entries)
{
    CIntFloatArray table(75);
    int slot = 0;
    std::string text = entries;
    while (slot < 75) {
        const auto comma = text.find(',');
        const std::string token = text.substr(0, comma);
        if (token.find('.') != std::string::npos)
            table.SetFloat(slot, static_cast<float>(parseDouble(token.c_str())));
        else
            table.SetInt(slot, std::stoi(token.empty() ? "0" : token));
        ++slot;
        if (comma == std::string::npos)
            break;
        text = text.substr(comma + 1);
    }
    return table;
}

TEST(DownloadTables, RunTableScanFindsStartAndEndItems)
{
    ContactClosureItems both = ScanRunTable(runTable("0.00,7,1,0.02,7,0,0.00,0,0"));
    EXPECT_TRUE(both.start && both.end);
    ContactClosureItems endOnly = ScanRunTable(runTable("0.02,7,0,1.00,7,1,0.00,0,0"));
    EXPECT_FALSE(endOnly.start);
    EXPECT_TRUE(endOnly.end);
    // The table ends at the first entry of type 0: a start item after it does not count.
    ContactClosureItems empty = ScanRunTable(runTable("0.00,0,0,0.00,7,1"));
    EXPECT_FALSE(empty.start || empty.end);
}

TEST(InletEdits, ProgramByTypeKeepsTheGCsKinds)
{
    CHP6890Method method;
    CInletTempProgram& program = method.m_Inlets[0].m_OnColumnRamp.m_Program;
    program.m_fInitialTemperature = 60.9f;
    program.m_fInitialTime = 0.5f;
    program.m_Ramps[0] = CRamp{12.0f, 250.5f, 3.0f};
    const char* gcProgram = "IFIFTR 9,9,9.00,9.00,9,9.00,9.00,9,9.00,9.00,9,9.00";

    method.m_Inlets[0].m_nType = 4;
    CCommandString ramped = command(gcProgram);
    EXPECT_EQ(SetInletLine(0, method, ramped), 1);
    EXPECT_EQ(ramped.GetString(), "IFIFTR 0,60,0.50,12.00,250,3.00,0.00,0,0.00,0.00,0,0.00");

    method.m_Inlets[0].m_nType = 1;
    method.m_Inlets[0].m_Split.m_fTemperature = 275.9f;
    CCommandString split = command(gcProgram);
    SetInletLine(0, method, split);
    EXPECT_EQ(split.GetString(), "IFIFTR 0,275,9.00,9.00,9,9.00,9.00,9,9.00,9.00,9,9.00");

    method.m_Inlets[0].m_nType = 0;
    CCommandString kept = command(gcProgram);
    SetInletLine(0, method, kept);
    EXPECT_EQ(kept.GetString(), gcProgram);

    method.m_Inlets[0].m_nType = 10;
    CCommandString refused = command("IFIFTR 9,abc");
    EXPECT_EQ(SetInletLine(0, method, refused), 0);
    EXPECT_EQ(SetInletTempZone(0, method, refused), 0);
    EXPECT_EQ(SetInletPneum(0, method, CPressure(), refused), 0);
    EXPECT_EQ(refused.GetString(), "IFIFTR 9,abc");
    method.m_Inlets[0].m_nType = 4;
    EXPECT_EQ(SetInletLine(0, method, refused), 1);
    EXPECT_EQ(refused.GetString(), "IFIFTR 0,abc") << "a text or absent argument stays as it is";
}

// Every inlet type's pneumatics from a method whose records all hold different values, so
// that a row reading the wrong record, value or factor shows. The GC's slots are decimals
// here, so the values arrive unrounded (the kinds are the program test's business).
TEST(InletEdits, PneumaticsOfEveryType)
{
    CHP6890Method method;
    CPressure pressure;
    pressure.m_fInitialValue = 12.5f;
    CInletSide& front = method.m_Inlets[0];
    front.m_Split.m_fSplitRatio = 20.0f;
    front.m_Split.m_fSplitFlow = 24.5f;
    front.m_Splitless.m_nPurgeTime = 3;
    for (int i = 0; i < 4; ++i) {
        method.m_PTV[i].m_nGasSaver = 1;
        method.m_PTV[i].m_fSaverFlow = 21.0f + static_cast<float>(i);
        method.m_PTV[i].m_fSaverTime = 2.5f;
    }
    method.m_PTV[0].m_nPurgeTime = 2;
    method.m_PTV[1].m_fSplitRatio = 30.0f;
    method.m_PTV[1].m_fSplitFlow = 60.0f;
    method.m_PTV[2].m_fPulsePressure = 25.0f;
    method.m_PTV[2].m_fPulseTime = 0.75f;
    method.m_PTV[2].m_nPurgeTime = 4;
    method.m_PTV[3].m_fPulsePressure = 15.0f;
    method.m_PTV[3].m_fPulseTime = 0.5f;
    method.m_PTV[3].m_fSplitRatio = 35.0f;
    method.m_PTV[3].m_fSplitFlow = 65.0f;
    CInletSolventVent& vent = method.m_SolventVent;
    vent = {.m_nZoneOn = 1,
            .m_nGasSaver = 1,
            .m_fSaverFlow = 25.0f,
            .m_fSaverTime = 2.5f,
            .m_Program = {},
            .m_fVentTime = 0.5f,
            .m_fVentFlow = 100.0f,
            .m_fVentPressure = 5.0f,
            .m_fPurgeFlow = 50.0f,
            .m_fPurgeTime = 1.0f};

    const char* gc = "IFIFGP 5,9.00,9.00,9.00,9.00,9.00,9.00,9.00,9.00,9.00,9.00";
    struct Case {
        int type;
        const char* expected;
    };
    const Case cases[] = {
        {.type = 0, .expected = gc},
        {.type = 1,
         .expected = "IFIFGP 5,1.00,125000.00,24500.00,20.00,9.00,9.00,9.00,9.00,"
                     "9.00,9.00"},
        {.type = 2,
         .expected = "IFIFGP 5,0.00,125000.00,30000.00,0.00,9.00,9.00,9.00,9.00,"
                     "9.00,9.00"},
        {.type = 3, .expected = gc},
        {.type = 4, .expected = gc},
        {.type = 5,
         .expected = "IFIFGP 5,0.00,125000.00,20000.00,0.00,0.00,0.00,0.00,21000.00,"
                     "2.50,1.00"},
        {.type = 6,
         .expected = "IFIFGP 5,1.00,125000.00,60000.00,30.00,0.00,0.00,0.00,"
                     "22000.00,2.50,1.00"},
        {.type = 7,
         .expected = "IFIFGP 5,3.00,125000.00,40000.00,0.00,0.00,250000.00,0.75,"
                     "23000.00,2.50,1.00"},
        {.type = 8,
         .expected = "IFIFGP 5,2.00,125000.00,65000.00,35.00,0.00,150000.00,0.50,"
                     "24000.00,2.50,1.00"},
        {.type = 9,
         .expected = "IFIFGP 5,4.00,125000.00,100000.00,0.50,50000.00,50000.00,"
                     "1.00,25000.00,2.50,1.00"},
    };
    for (const Case& c : cases) {
        front.m_nType = c.type;
        CCommandString pneumatics = command(gc);
        EXPECT_EQ(SetInletPneum(0, method, pressure, pneumatics), 1);
        EXPECT_EQ(pneumatics.GetString(), c.expected) << "inlet type " << c.type;
    }
}

TEST(InletEdits, PneumaticZoneIsTheInverseOfZoneOn)
{
    CCommandString zone = command("IFIFNZ 7");
    SetInletPneumaticZone(0, zone);
    EXPECT_EQ(zone.GetString(), "IFIFNZ 1");
    SetInletPneumaticZone(1, zone);
    EXPECT_EQ(zone.GetString(), "IFIFNZ 0");
}

}  // namespace
