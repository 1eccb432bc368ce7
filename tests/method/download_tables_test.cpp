// The run table's contact-closure items, and the edits of the GC's inlet
// commands (kinds kept, values converted to them).
#include <gtest/gtest.h>

#include <tuple>

#include "comms/hp6890_serial_comms.h"
#include "method/inlet_settings.h"
#include "method/section_settings.h"

namespace {

using namespace gc6890;

CCommandString command(const char* line)
{
    return CCommandString(CString(line));
}

// A run table as the channel fills it: entries of time, event type and value.
CIntFloatArray runTable(std::initializer_list<std::tuple<float, int, int>> entries)
{
    CIntFloatArray table(75);
    int slot = 0;
    for (const auto& [time, type, value] : entries) {
        table.SetFloat(slot++, time);
        table.SetInt(slot++, type);
        table.SetInt(slot++, value);
    }
    return table;
}

TEST(DownloadTables, RunTableScanFindsStartAndEndItems)
{
    ContactClosureItems both = ScanRunTable(runTable({{0.0f, 7, 1}, {0.02f, 7, 0}}));
    EXPECT_TRUE(both.start && both.end);
    ContactClosureItems endOnly = ScanRunTable(runTable({{0.02f, 7, 0}, {1.0f, 7, 1}}));
    EXPECT_FALSE(endOnly.start);
    EXPECT_TRUE(endOnly.end);
    // The table ends at the first entry of type 0: a start item after it does not count.
    ContactClosureItems empty = ScanRunTable(runTable({{0.0f, 0, 0}, {0.0f, 7, 1}}));
    EXPECT_FALSE(empty.start || empty.end);
}

// The ramped and kept programs and the pneumatics of every type are the inlet rows of the
// download into the simulator (download_sim_test.cpp); here what it cannot show.
TEST(InletEdits, ProgramKeepsTheGCsKindsAndTruncatesTheTemperature)
{
    CHP6890Method method;
    method.m_Inlets[0].m_nType = 1;
    method.m_Inlets[0].m_Split.m_fTemperature = 275.9f;
    CCommandString split = command("IFIFTR 9,9,9.00,9.00,9,9.00,9.00,9,9.00,9.00,9,9.00");
    EXPECT_EQ(SetInletLine(0, method, split), 1);
    EXPECT_EQ(split.GetString(), "IFIFTR 0,275,9.00,9.00,9,9.00,9.00,9,9.00,9.00,9,9.00");

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

}  // namespace
