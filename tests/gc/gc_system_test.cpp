// The GC object's window, opening and closing comms, run control, the experiment record
// and the registration window.
#include <gmock/gmock.h>

#include "external/method_library.h"
#include "gc/gc_fixture.h"
#include "support/source_tree.h"

namespace gc6890::test {

BEGIN_MESSAGE_MAP(OutsideProgram, CFrameWnd)
ON_REGISTERED_MESSAGE(g_nExtraDataMessage, OnData)
ON_REGISTERED_MESSAGE(g_nLockCommsResetMessage, OnLock)
ON_REGISTERED_MESSAGE(g_nUnLockCommsResetMessage, OnUnlock)
END_MESSAGE_MAP()

namespace {

using ::testing::HasSubstr;

TEST_F(GCSystemTest, ConstructionMakesTheHiddenWindowAndCapsTheStatusFrequency)
{
    // The hidden control window, with its class name as class and title.
    EXPECT_TRUE(IsWindow(gc->GetSafeHwnd()));
    EXPECT_EQ(gc->GetClassName(), "HP6890GC CONTROL WINDOW CLASS");
    EXPECT_EQ(gc->GetWindowTitle(), "HP6890GC CONTROL WINDOW CLASS");
    EXPECT_TRUE(IsValidCommsObject(gc->m_pChannel));

    const char* path = "Inlets\\Hubrel\\System Timings\\Status Frequency";
    for (const auto& [stored, after] :
         {std::pair{6000, 5500}, std::pair{5500, 5500}, std::pair{100, 100}}) {
        WriteRegistryPath(path, stored, HKEY_LOCAL_MACHINE);
        WriteRegistryPath("Inlets\\Hubrel\\Varnock\\AutoPrepRun", 1, HKEY_LOCAL_MACHINE);
        CVarnockGCSystem other;
        int value = 0;
        ReadRegistryPath(path, value, HKEY_LOCAL_MACHINE);
        EXPECT_EQ(value, after);
        EXPECT_EQ(other.m_nAutoPrepRun, 1);
    }
}

TEST_F(GCSystemTest, InitialiseCommsReadsTheAutoPrepRunState)
{
    initialise(1);
    EXPECT_EQ(gc->m_bGCCommsStarted, 1);
    EXPECT_EQ(CVarnockGCSystem::m_sCommsInitialised, 1);
    EXPECT_EQ(gc->m_nAutoPrepRun, 1);
    int stored = 0;
    ReadRegistryPath("Inlets\\Hubrel\\Varnock\\AutoPrepRun", stored, HKEY_LOCAL_MACHINE);
    EXPECT_EQ(stored, 1);
    ASSERT_NE(gc->m_pRegRemoteWindow, nullptr);
    EXPECT_EQ(gc->m_pRegRemoteWindow->GetClassName(), "HP6890 REG REMOTE WINDOW CLASS");

    EXPECT_EQ(gc->CloseDownComms(), 1);
    EXPECT_FALSE(line->isOpen());
    gc.reset();
    EXPECT_EQ(CVarnockGCSystem::m_sCommsInitialised, 0);
}

TEST_F(GCSystemTest, AGCThatDoesNotStartStillGetsItsWindowAndContactClosure)
{
    scriptGCStart("HTCCID HP 5890 GC, A.01.00   ");
    line->expect("V7V7SW 0");  // forced; no "GCHTDL" and no "GCHTRI" on a side not started
    gc->m_nAutoPrepRun = 3;
    EXPECT_EQ(gc->InitialiseComms(), 0);
    EXPECT_EQ(gc->m_bGCCommsStarted, 0);
    EXPECT_NE(gc->m_pRegRemoteWindow, nullptr);
    EXPECT_EQ(gc->m_nAutoPrepRun, 3);
    EXPECT_THAT(commsLog(), HasSubstr("GC READ STATUS: Failed to get run state and time\n"));
    // Refused by the channel, unforced, before the GC side runs.
    EXPECT_EQ(gc->GenericOp(1, 0), 0);
    EXPECT_EQ(gc->StopMethod(), 0);
    EXPECT_EQ(gc->GenericOp(2, 0), 1);
    // The echo check is forced: it works on the open port of a side not started.
    line->expect("GCHTEO \"1234\"").reply("HTGCEO \"1234\"");
    EXPECT_EQ(gc->GCOn(), 1);
}

TEST_F(GCSystemTest, RestoreKeepsAChannelItHoldsAndRefusesAStrangeOne)
{
    initialise();
    CHP6890SerialComms* held = gc->m_pChannel;
    line->expect("GCHTDL");
    EXPECT_EQ(gc->SendMessage(g_nCommsRestoreMessage, 0, reinterpret_cast<LPARAM>(held)), 1);
    EXPECT_EQ(gc->m_pChannel, held);
    int strange = 0;
    EXPECT_EQ(gc->SendMessage(g_nCommsRestoreMessage, 0, reinterpret_cast<LPARAM>(&strange)), 0);
}

TEST_F(GCSystemTest, SwitchGCSendsTheThreeZoneLines)
{
    initialise();
    for (const auto& [state, setting] : {std::pair{Off, '0'}, std::pair{On, '1'}}) {
        for (const char* zone : {"OVHTTZ ", "IFHTTZ ", "BFHTTZ "})
            line->expect(std::string(zone) + setting);
        EXPECT_EQ(gc->SwitchGC(state), 1);
    }
    ASSERT_EQ(LockOut(), 1);  // locked out: refused, and nothing sent
    EXPECT_EQ(gc->SwitchGC(On), 0);
    EXPECT_EQ(gc->StopMethod(), 0);
    EXPECT_EQ(gc->GCOn(), 0);
    FreeLock();
}

// Prepare and stop take any answer, and a failed stop is only logged; a failed echo
// rebuilds the channel.
TEST_F(GCSystemTest, PrepareStopAndEchoAnswersAndFailures)
{
    initialise();
    registerOutsideProgram();
    line->expect("GCHTPR").reply("HTGCPR 0");
    EXPECT_EQ(gc->GenericOp(1, 0), 1);
    line->expect("GCHTPR");  // no answer
    EXPECT_EQ(gc->GenericOp(1, 0), 0);

    line->expect("GCHTSP").reply("HTGCSP 27");
    EXPECT_EQ(gc->StopMethod(), 1);
    line->expect("GCHTSP");  // no answer
    line->expect("GCHTDL");  // the displays are cleared
    CHP6890SerialComms* held = gc->m_pChannel;
    EXPECT_EQ(gc->StopMethod(), 0);
    EXPECT_EQ(gc->m_pChannel, held);  // not reported: the channel stays
    EXPECT_THAT(commsLog(), HasSubstr("Failed to reply to stop command from GC\n"));
    EXPECT_EQ(outside.unlocks, 1);

    line->expect("GCHTEO \"1234\"").reply("HTGCEO \"1234\"");
    EXPECT_EQ(gc->GCOn(), 1);
    line->expect("GCHTEO \"1234\"");  // silent
    scriptRestart();                  // the rebuilt channel starts again
    EXPECT_EQ(gc->GCOn(), 0);
    EXPECT_TRUE(IsValidCommsObject(gc->m_pChannel));
    EXPECT_EQ(outside.unlocks, 2);
}

TEST_F(GCSystemTest, StartMethodLoadsThroughTheVirtualSlot)
{
    struct Loader : CVarnockGCSystem {
        int LoadMethod(const CString& name) override
        {
            loaded = name;
            return result;
        }
        int StartMethod() override { return ++starts, 1; }
        using CVarnockGCSystem::StartMethod;
        CString loaded;
        int result = 0;
        int starts = 0;
    } loader;
    EXPECT_EQ(loader.StartMethod(CString("x")), 0);
    EXPECT_EQ(loader.starts, 0);
    loader.result = 1;
    const std::string file = sourcePath("methods/split_front.toml").string();
    EXPECT_EQ(loader.StartMethod(CString(file)), 1);
    EXPECT_EQ(loader.loaded, file.c_str());  // a completed name comes back unchanged
    EXPECT_EQ(loader.starts, 1);
}

TEST_F(GCSystemTest, MethodLengthAndRecordComeFromTheFileAlone)
{
    float length = -1.0f;
    EXPECT_EQ(gc->GetMethodLength("no such method", length), 0);
    EXPECT_EQ(length, -1.0f);
    CGenericExpRecord record;
    EXPECT_EQ(gc->WriteExpRecord(&record, "no such method"), 0);
    EXPECT_TRUE(record.Text().empty());

    const std::string file = sourcePath("methods/two_columns.toml").string();
    ASSERT_EQ(gc->GetMethodLength(CString(file), length), 1);
    EXPECT_FLOAT_EQ(length, 25.0f);  // the file's run length, not its oven program's

    ASSERT_EQ(gc->WriteExpRecord(&record, CString(file)), 1);
    const std::string once = record.Text();
    EXPECT_EQ(once.rfind("GC\t", 0), 0u);
    ASSERT_EQ(gc->WriteExpRecord(&record, CString(file)), 1);
    EXPECT_EQ(record.Text(), once + once);  // no memory of earlier calls
}

TEST_F(GCSystemTest, RegistrationWindowServesOneProgramAtATime)
{
    initialise();
    CRegRemoteWindowGCSystem& window = *gc->m_pRegRemoteWindow;
    window.LockReset();
    window.UnLockReset();
    EXPECT_EQ(window.SendDataOut(), 0);  // nobody registered: nothing sent

    OutsideProgram second;
    registerOutsideProgram();
    window.SendMessage(g_nRegisterToCommsMessage, reinterpret_cast<WPARAM>(second.m_hWnd));
    EXPECT_EQ(window.SendDataOut(), 1);
    window.LockReset();
    EXPECT_EQ(outside.blocks.size(), 0u);
    EXPECT_EQ(outside.locks, 0);
    EXPECT_EQ(second.blocks.size(), 1u);
    EXPECT_EQ(second.locks, 1);

    scriptRestart();  // restart-all: the failure broadcast rebuilds and restarts
    EXPECT_EQ(::SendMessage(window.GetSafeHwnd(), g_nRestartAllCommsMessage, 0, 0), 1);
    EXPECT_TRUE(IsValidCommsObject(gc->m_pChannel));

    CRegRemoteWindowGCSystem orphan(nullptr);
    EXPECT_EQ(::SendMessage(orphan.GetSafeHwnd(), g_nRestartAllCommsMessage, 0, 0), 0);
}

}  // namespace
}  // namespace gc6890::test
