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

TEST(InletEdits, PneumaticsPerType)
{
    CHP6890Method method;
    CPressure pressure;
    pressure.m_fInitialValue = 12.5f;
    const char* gc = "IFIFSP 5,9,9,9,9,9,9,9,9,9,9";

    method.m_Inlets[0].m_nType = 1;
    method.m_Inlets[0].m_Split.m_fSplitRatio = 20.0f;
    method.m_Inlets[0].m_Split.m_fSplitFlow = 24.5f;
    CCommandString split = command(gc);
    SetInletPneum(0, method, pressure, split);
    EXPECT_EQ(split.GetString(), "IFIFSP 5,1,125000,24500,20,9,9,9,9,9,9");

    method.m_Inlets[0].m_nType = 8;
    CInletPTV& ptv = method.m_PTV[3];
    ptv.m_nGasSaver = 1;
    ptv.m_fSaverFlow = 20.0f;
    ptv.m_fSaverTime = 2.0f;
    ptv.m_fPulsePressure = 25.0f;
    ptv.m_fPulseTime = 0.75f;
    ptv.m_fSplitRatio = 30.0f;
    ptv.m_fSplitFlow = 60.0f;
    CCommandString pulsed = command("IFIFGP 5,9,9,9,9,9,9,9.00,9,9.00,9");
    SetInletPneum(0, method, pressure, pulsed);
    EXPECT_EQ(pulsed.GetString(), "IFIFGP 5,2,125000,60000,30,0,250000,0.75,20000,2.00,1");

    method.m_Inlets[0].m_nType = 9;
    CInletSolventVent& vent = method.m_SolventVent;
    vent.m_fVentTime = 0.5f;
    vent.m_fVentFlow = 100.0f;
    vent.m_fVentPressure = 5.0f;
    vent.m_fPurgeFlow = 50.0f;
    vent.m_fPurgeTime = 1.0f;
    CCommandString solvent = command("IFIFGV 5,9,9,9,9.00,9,9,9.00,9,9.00,9");
    SetInletPneum(0, method, pressure, solvent);
    EXPECT_EQ(solvent.GetString(), "IFIFGV 5,4,125000,100000,0.50,50000,50000,1.00,20000,2.00,0");

    method.m_Inlets[0].m_nType = 3;
    CCommandString onColumn = command(gc);
    SetInletPneum(0, method, pressure, onColumn);
    EXPECT_EQ(onColumn.GetString(), gc);
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
