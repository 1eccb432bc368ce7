// End to end: each example method downloaded into gc6890-sim over a pseudo-terminal, read
// back from the simulated GC and compared with the stored method; a hang-up in the middle
// of the send.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "method/download_fixture.h"
#include "method/inlet_settings.h"
#include "method/method_readback.h"
#include "method/section_settings.h"
#include "support/scoped_env.h"

namespace gc6890::test {
namespace {

namespace fs = std::filesystem;

fs::path methodsFolder()
{
    return fs::path(__FILE__).parent_path().parent_path().parent_path() / "methods";
}

class SimDownloadTest : public ::testing::Test, public RecordingDownloadHost {
protected:
    void TearDown() override
    {
        channel.reset();
        EXPECT_EQ(LockedOut(), 0);
        EXPECT_EQ(lockResets, unlockResets);
    }
    // A channel on a fresh simulator, its GC side started.
    void startSimulator()
    {
        channel.reset();
        channel = std::make_unique<CHP6890SerialComms>();
        ASSERT_EQ(channel->StartGCComms(), 1) << "gc6890-sim did not start";
        hostChannel = channel.get();
    }
    int download(const fs::path& method)
    {
        return RunMethodDownload(*this, gcState(), CString(method.string()));
    }

    TempHome home;
    std::unique_ptr<CHP6890SerialComms> channel;
};

double number(const CCommandString& command, int i)
{
    if (i >= command.GetArgumentCount())
        return std::nan("");
    return command.GetArgumentType(i) == ARG_FLOAT ? command[i].fValue
           : command.GetArgumentType(i) == ARG_INT ? command[i].nValue
                                                   : std::nan("");
}

// The stored method's values as the GC holds them after the download.
void expectMethodArrived(const CHP6890Method& m, const CCommandStringList& gc)
{
    auto find = [&](const char* head) {
        CCommandString found;
        EXPECT_TRUE(gc.GetMatchingCommandString(CCommandType(head), found)) << head;
        return found;
    };
    const COvenProgram& oven = m.m_Oven;
    const CCommandString program = find("OVOVTR");
    EXPECT_EQ(number(program, 0), truncToInt(oven.m_fInitialTemperature));
    EXPECT_NEAR(number(program, 1), oven.m_fInitialTime, 0.005);
    for (int k = 1; k <= 6 && oven.m_Ramps[k - 1].m_fRate > 0.0f; ++k) {
        EXPECT_NEAR(number(program, 3 * k - 1), oven.m_Ramps[k - 1].m_fRate, 0.005) << "ramp " << k;
        EXPECT_EQ(number(program, 3 * k), truncToInt(oven.m_Ramps[k - 1].m_fFinal)) << "ramp " << k;
    }
    EXPECT_EQ(number(find("OVOVCW"), 3), truncToInt(oven.m_fMaxTemperature));
    const CCommandString postRun = find("GCGCPO");
    EXPECT_NEAR(number(postRun, 0), m.m_PostRun.m_nEnabled ? m.m_PostRun.m_fTime : 0.0, 0.005);

    for (int n = 1; n <= 2; ++n) {
        const CColumn& c = m.m_Columns[n - 1];
        const std::string digit = std::to_string(n);
        const std::string definitionHead = "C" + digit + "C" + digit + "CW";
        const std::string pneumaticsHead = "C" + digit + "C" + digit + "NR";
        const CCommandString definition = find(definitionHead.c_str());
        CCommandString pneumatics;
        const bool hasPneumatics =
            gc.GetMatchingCommandString(CCommandType(pneumaticsHead.c_str()), pneumatics);
        if (!c.m_nConfigured) {
            EXPECT_EQ(number(definition, 3), 5) << definitionHead;
            EXPECT_FALSE(hasPneumatics) << pneumaticsHead;
            continue;
        }
        EXPECT_EQ(number(definition, 0), truncToInt(c.m_fLength * 100.0)) << definitionHead;
        EXPECT_EQ(number(definition, 3), ColumnInletCode(c.m_nInlet)) << definitionHead;
        ASSERT_TRUE(hasPneumatics) << pneumaticsHead;
        const ColumnPneumaticMode mode = ColumnPneumaticModeOf(c.m_nControlMode);
        EXPECT_EQ(number(pneumatics, 2), mode.code) << pneumaticsHead;
        EXPECT_EQ(number(pneumatics, 4),
                  truncToInt((mode.flowFlag ? 1000.0 : 10000.0) * c.m_Pressure.m_fInitialValue))
            << pneumaticsHead;
    }
    const char* inletHeads[][2] = {{"IFIFCW", "IFIFTR"}, {"IBIBCW", "IBIBTR"}};
    for (int side = 0; side < 2; ++side) {
        const int type = m.m_Inlets[side].m_nType;
        if (type == 0)
            continue;
        EXPECT_EQ(number(find(inletHeads[side][0]), 0), GCInletCode(type)) << inletHeads[side][0];
        const CCommandString inletProgram = find(inletHeads[side][1]);
        float temperature = 0.0f;
        if (type == 1)
            temperature = m.m_Inlets[side].m_Split.m_fTemperature;
        else if (type == 2)
            temperature = m.m_Inlets[side].m_Splitless.m_fTemperature;
        else if (const CInletTempProgram* p = m.GetInletProgram(side, type))
            temperature = p->m_fInitialTemperature;
        if (type != 3) {
            EXPECT_EQ(number(inletProgram, 1), truncToInt(temperature)) << inletHeads[side][1];
        }
    }
}

TEST_F(SimDownloadTest, EveryExampleMethodArrivesInTheGC)
{
    int count = 0;
    for (const auto& entry : fs::directory_iterator(methodsFolder())) {
        if (entry.path().extension() != ".toml")
            continue;
        SCOPED_TRACE(entry.path().filename().string());
        ++count;
        // The PTV method needs a GC with a PTV inlet: the default one refuses it (15).
        const fs::path profile =
            fs::absolute(methodsFolder().parent_path() / "sim" / "profiles" / "ptv_front.toml");
        ScopedEnv options("GC6890_SIM_OPTIONS", entry.path().filename() == "ptv.toml"
                                                    ? "--profile " + profile.string()
                                                    : std::string());
        startSimulator();
        ASSERT_EQ(download(entry.path()), 1) << (boxes.empty() ? "" : boxes.back());
        EXPECT_TRUE(boxes.empty() || boxes.back().rfind("Warning", 0) == 0);

        CHP6890Method stored;
        CALS6890Method als;
        CFileS file;
        ASSERT_EQ(file.Open(entry.path().c_str(), CFileS::modeRead, nullptr), 1);
        CArchiveS archive(&file, CArchiveS::load);
        SerializeGCandALS(archive, stored, als);
        CCommandStringList readBack;
        ASSERT_EQ(ReadMethodFromGC(*channel, readBack), 1);
        expectMethodArrived(stored, readBack);
        boxes.clear();
    }
    EXPECT_GE(count, 4);
}

TEST_F(SimDownloadTest, HangUpDuringTheSendFailsCleanlyAndTheNextDownloadSucceeds)
{
    {
        // The GC side's start takes 13 lines and split_front.toml's download 18 more before its
        // block: the 33rd line is the block's third.
        ScopedEnv options("GC6890_SIM_OPTIONS", "--hang-up-after 33");
        startSimulator();
        EXPECT_EQ(download(methodsFolder() / "split_front.toml"), 0);
    }
    ASSERT_FALSE(boxes.empty());
    EXPECT_TRUE(boxes.back() == "6890 Method Error: Failed to write method line to GC" ||
                boxes.back() == "6890 Method Error: Did not receive method line echo from GC")
        << boxes.back();
    EXPECT_FALSE(progress.empty()) << "the hang-up came before the send";
    EXPECT_EQ(LockedOut(), 0);
    EXPECT_EQ(lockResets, unlockResets);

    boxes.clear();
    startSimulator();  // the channel rebuilt, as after a comms failure
    EXPECT_EQ(download(methodsFolder() / "split_front.toml"), 1)
        << (boxes.empty() ? "" : boxes.back());
}

}  // namespace
}  // namespace gc6890::test
