// The status poll, its cache and failure paths, the single questions and the readings.
#include <gmock/gmock.h>

#include "gc/gc_fixture.h"
#include "gc/gc_status_text.h"

namespace gc6890::test {
namespace {

using ::testing::HasSubstr;

const std::string kQuietWords = "0,0,0,0,0,0,0,0,0,0,0,0,0,0,0";

// The flags of a status record that are set, by name ("not-ready running").
std::string statusFlags(CInletSystemStatus& s)
{
    std::string names;
    for (const auto& [set, name] : {std::pair{s.GetNotReady(), " not-ready"},
                                    {s.GetRunning(), " running"},
                                    {s.GetPostRunning(), " post-run"},
                                    {s.GetError(), " error"}})
        names += set ? name : "";
    return names.empty() ? names : names.substr(1);
}

// The status text of a GC in `state` with these times remaining.
std::string runText(const char* state, const char* run = "0.000", const char* post = "0.000")
{
    return std::string("Run currently in state ") + state + ". Run Time remaining = " + run +
           ". PostRun Time remaining = " + post + ".";
}

TEST_F(GCSystemTest, PollTurnsTheRepliesIntoFlagsAndTexts)
{
    struct Case {
        std::string runState;  // the nine numbers of the run-state reply
        std::string readiness = "1,1,1,1,1,1";
        std::string words = kQuietWords;
        int autoPrepRun = 0;
        const char* flags = "";
        std::string groups = "", error = "";  // groups: the not-ready groups named
        std::string status = runText("RUN IDLE (GC Not Running Sequence)");
    };
    const std::string notReadyWord = "67108992,0,0,0,0,0,0,0,0,0,0,0,0,0,0";  // bits 26 and 7
    const Case cases[] = {
        {.runState = "2,0,0,0,12.50,3.00,1.25,0,0",
         .flags = "not-ready running",
         .status = runText("RUN ACTIVE (GC Not Running Sequence)", "12.500", "3.000")},
        // Idle and ready without auto prep run: readiness slot 1 does not count.
        {.runState = "0,0,0,0,0.00,0.00,0.00,0,0", .readiness = "1,0,1,1,1,0"},
        // The fatal state with all run flags.
        {.runState = "7,1,1,1,0.00,0.00,0.00,0,0",
         .flags = "not-ready",
         .status = runText("GC APP FATAL (with blank run) (aquiring column compensation "
                           "data) (GC Running Sequence)")},
        // The not-ready groups, and the same bits on a ready GC.
        {.runState = "1,0,0,0,0.00,0.00,0.00,0,0",
         .readiness = "1,0,1,1,1,0",
         .words = notReadyWord,
         .autoPrepRun = 1,
         .flags = "not-ready",
         .groups = "Thermal zones not ready, Auxilliary pressure not ready",
         .status = runText("PRE RUN (GC Not Running Sequence)")},
        {.runState = "1,0,0,0,0.00,0.00,0.00,0,0",
         .readiness = "1,1,1,1,1,0",
         .words = notReadyWord,
         .autoPrepRun = 1,
         .status = runText("PRE RUN (GC Not Running Sequence)")},
        // A scram and a non-fatal code.
        {.runState = "3,0,0,0,0.00,1.50,9.00,0,0",
         .words = "0,0,0,0,0,0,0,0,-2147450880,0,0,42,0,0,0",
         .flags = "not-ready post-run error",
         .error = "ERROR: Scram active, Scram active, Non fatal error section2 42",
         .status = runText("POST RUN (GC Not Running Sequence)", "0.000", "1.500")},
        // Times written without a decimal point arrive as integers; read as floats their
        // bits are next to nothing, as the reply array has always given them.
        {.runState = "0,0,0,0,12,3,0,0,0"},
    };
    initialise();
    // The first poll alone writes the hardware profile to the comms log.
    gc->m_bFirstStatusRead = 1;
    line->expect("GCHTCF ?").reply("HTGCCF 6890 config");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.runState);
        gc->m_nAutoPrepRun = c.autoPrepRun;
        scriptQueries(c.runState, c.readiness, c.words);
        CInletSystemStatus status;
        ASSERT_EQ(gc->ReadStatus(status), 1);
        EXPECT_EQ(statusFlags(status), c.flags);
        // The not-ready text comes exactly with the not-ready flag.
        const bool notReady = std::string(c.flags).starts_with("not-ready");
        EXPECT_EQ(status.GetNotReadyInfo(), notReady ? "NOT READY: " + c.groups : "");
        EXPECT_EQ(status.GetErrorInfo(), c.error);
        EXPECT_EQ(status.GetStatusInfo(), c.status);
    }
}

// Each group's bits, at their edges and with the neighbours' bits beside them.
TEST(GCStatusTextTest, NotReadyGroupsTakeExactlyTheirBits)
{
    const struct {
        std::uint32_t word;
        const char* text;
    } cases[] = {
        {(1u << 31) | (1u << 22), "Thermal zones not ready, Inlet pressure/flow not ready"},
        {(1u << 26) | (1u << 21),
         "Thermal zones not ready, Front/Back detector gas is either off or has not ready flow"},
        {(1u << 25) | (1u << 9), "Inlet pressure/flow not ready, Auxilliary pressure not ready"},
        {(1u << 10) | (1u << 7) | (1u << 6) | 1u,
         "Front/Back detector gas is either off or has not ready flow, Auxilliary pressure not "
         "ready"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.word);
        EXPECT_EQ(GCNotReadyText(GCStatusWords{.notReady = c.word}),
                  std::string("NOT READY: ") + c.text);
    }
}

TEST_F(GCSystemTest, PollWithARegisteredProgramSendsItsReadingsOrTheCommsFailure)
{
    initialise();
    registerOutsideProgram();
    EXPECT_EQ(gc->m_bDataRequestPending, 1);
    scriptQueries("1,0,0,0,0.00,0.00,0.00,0,0", "1,1,1,0,1,0", kQuietWords, false);
    scriptReadings(45, 215000, 98000, 1500, 2250);
    CInletSystemStatus status;
    ASSERT_EQ(gc->ReadStatus(status), 1);
    EXPECT_FLOAT_EQ(status.GetHighPressure(), 21.5f);
    EXPECT_FLOAT_EQ(status.GetFlow(), 1.5f);
    EXPECT_FLOAT_EQ(status.GetTemperatureLeft(), 45.0f);
    EXPECT_EQ(gc->m_bDataRequestPending, 0);
    ASSERT_EQ(outside.blocks.size(), 1u);
    const GCRemoteData& block = outside.blocks.back();
    EXPECT_FLOAT_EQ(block.column2Pressure, 9.8f);
    EXPECT_FLOAT_EQ(block.column2Flow, 2.25f);
    EXPECT_EQ(block.preRun, 1);
    EXPECT_EQ(block.ready, 1);           // readiness slot 1, whatever the auto-prep-run setting
    EXPECT_EQ(status.GetNotReady(), 1);  // auto prep run off: slot 3 decides
    EXPECT_EQ(block.running, 0);
    EXPECT_EQ(block.error, 0);

    // Without a channel: the failure, from the cache, with no traffic.
    ASSERT_EQ(::SendMessage(gc->GetSafeHwnd(), g_nCommsFailureMessage, 0, 0), 1);
    EXPECT_EQ(gc->m_pChannel, nullptr);
    EXPECT_EQ(gc->m_bRefreshPending, 1);
    CInletSystemStatus failed;
    EXPECT_EQ(gc->ReadStatus(failed), 1);
    EXPECT_EQ(failed.GetError(), 1);
    EXPECT_EQ(failed.GetErrorInfo(), "SERIAL COMMS FAILURE");
    EXPECT_EQ(gc->m_bDataRequestPending, 1);
    const GCRemoteData& failedBlock = outside.blocks.back();
    EXPECT_EQ(failedBlock.error, 1);
    EXPECT_EQ(failedBlock.column1Pressure, 0.0f);
    EXPECT_FLOAT_EQ(failedBlock.column2Flow, 2.25f);  // flows keep their last values

    // The channel's own tests cover the rebuild; without a channel a close stops nothing.
    EXPECT_EQ(gc->CloseDownComms(), 1);
}

TEST_F(GCSystemTest, LockedOutPollAnswersFromTheCacheWithoutTraffic)
{
    initialise();
    scriptQueries("2,0,0,0,5.00,0.00,2.00,0,0", "1,1,1,1,1,1", "0,0,0,0,0,0,0,0,0,0,7,0,0,0,0");
    CInletSystemStatus first;
    ASSERT_EQ(gc->ReadStatus(first), 1);

    ASSERT_EQ(LockOut(), 1);  // a method download holds the channel: nothing is sent
    CInletSystemStatus cached;
    EXPECT_EQ(gc->ReadStatus(cached), 1);
    // The error the last poll found stays.
    EXPECT_EQ(statusFlags(cached), "not-ready running error");
    EXPECT_FLOAT_EQ(cached.GetTime(), 2.0f);
    EXPECT_EQ(cached.GetStatusInfo(), first.GetStatusInfo());
    EXPECT_EQ(cached.GetErrorInfo(), "ERROR: Non fatal error section1 7");
    // The single questions and readings give up at once, sending nothing.
    CString reason;
    EXPECT_EQ(gc->PrepRunning(), 0);
    EXPECT_EQ(gc->NotReady(reason), 0);
    EXPECT_EQ(gc->Error(reason), 0);
    EXPECT_EQ(gc->GetCurrentOvenTemp(), 0.0f);
    EXPECT_EQ(FreeLock(), 1);
}

// A refresh waits while a run is timed; then each failed query of a poll is logged, tells
// the outside program the lock is off, and leaves the refresh shown and asked for again.
TEST_F(GCSystemTest, RefreshWaitsForATimedRunAndEachFailedStatusQueryIsLoggedAndReported)
{
    // The poll's queries in order, their good replies, and what a bad reply logs.
    const char* queries[] = {"GCHTRI", "GCHTRY", "GCHTST"};
    const char* replies[] = {"HTGCRI 0,0,0,0,0.00,0.00,0.00,0,0", "HTGCRY 1,1,1,1,1,0",
                             "HTGCST 0,0,0,0,0,0,0,0,0,0,0,0,0,0,0"};
    const char* bad[] = {"HTGCXX 0", "HTGCRY 1,1,1,1,1", "HTGCST 1,2"};  // five of six, two
    const char* logged[] = {"GC READ STATUS: Failed to get run state and time\n",
                            "GC READ STATUS: Failed to get readiness info\n",
                            "GC READ STATUS: Failed to get status info\n"};
    initialise();
    registerOutsideProgram();
    ASSERT_EQ(::SendMessage(gc->GetSafeHwnd(), g_nRefreshStatusMessage, 0, 0), 1);
    scriptQueries("2,0,0,0,5.00,0.00,2.50,0,0");
    CInletSystemStatus timed;
    timed.GetTime() = 2.5f;
    ASSERT_EQ(gc->ReadStatus(timed), 1);
    EXPECT_EQ(gc->m_bRefreshPending, 1);  // a timed run defers the refresh
    for (int failing = 0; failing < 3; ++failing) {
        SCOPED_TRACE(logged[failing]);
        for (int i = 0; i <= failing; ++i)
            line->expect(queries[i]).reply(i == failing ? bad[i] : replies[i]);
        scriptRestart();
        const int unlocks = outside.unlocks;
        CInletSystemStatus status;
        EXPECT_EQ(gc->ReadStatus(status), 0);
        EXPECT_THAT(commsLog(), HasSubstr(logged[failing]));
        EXPECT_EQ(outside.unlocks, unlocks + 1);
        EXPECT_EQ(gc->m_bRefreshPending, 1);  // consumed, and asked for again by the failure
        EXPECT_EQ(statusFlags(status), "not-ready");
        for (const CString& text :
             {status.GetNotReadyInfo(), status.GetErrorInfo(), status.GetStatusInfo()})
            EXPECT_EQ(text, "PLEASE WAIT LOADING STATUS");
        EXPECT_EQ(outside.blocks.back().error, 0);  // the refresh's block
        EXPECT_NE(gc->m_pChannel, nullptr);         // rebuilt and started again
    }
}

TEST_F(GCSystemTest, FailedRestartIsReportedByOnePoll)
{
    initialise();
    line->failOpen("cable pulled");
    gc->CaughtSerialCommsError();  // the rebuilt channel cannot open its port
    EXPECT_EQ(CVarnockGCSystem::m_sCommsRestartFailed, 1);

    line->failOpen("");
    scriptRestart();  // the report rebuilds the channel again, which now starts
    CInletSystemStatus status;
    EXPECT_EQ(gc->ReadStatus(status), 0);
    EXPECT_EQ(status.GetErrorInfo(), "SERIAL COMMS FAILURE");
    EXPECT_EQ(CVarnockGCSystem::m_sCommsRestartFailed, 0);

    scriptQueries("0,0,0,0,0.00,0.00,0.00,0,0");
    EXPECT_EQ(gc->ReadStatus(status), 1);
}

TEST_F(GCSystemTest, SingleQuestionsAndReadingsAnswerFromTheirQueries)
{
    initialise();
    registerOutsideProgram();
    struct Case {
        int state;
        int prep, method, post;  // the answers of PrepRunning, MethodRunning, PostRunning
    };
    for (const Case& c : {Case{0, 0, 0, 0}, Case{1, 1, 1, 0}, Case{3, 0, 1, 1}, Case{7, 0, 1, 0}}) {
        SCOPED_TRACE(c.state);
        for (int i = 0; i < 3; ++i)
            line->expect("GCHTRI").reply(runStateReply(c.state));
        const int unlocks = outside.unlocks;
        EXPECT_EQ(gc->PrepRunning(), c.prep);
        EXPECT_EQ(gc->MethodRunning(), c.method);
        EXPECT_EQ(gc->PostRunning(), c.post);
        // Every negative answer tells the outside program the lock is off.
        EXPECT_EQ(outside.unlocks - unlocks, (1 - c.prep) + (1 - c.method) + (1 - c.post));
    }

    outside.unlocks = 0;
    CString reason = "untouched";
    line->expect("GCHTRI").reply(runStateReply(2));  // a run: not ready, no readiness query
    EXPECT_EQ(gc->NotReady(reason), 1);
    line->expect("GCHTRI").reply(runStateReply(0));
    line->expect("GCHTRY").reply("HTGCRY 0,1,0,0,0,0");
    EXPECT_EQ(gc->NotReady(reason), 0);
    EXPECT_EQ(outside.unlocks, 1);
    line->expect("GCHTRI").reply(runStateReply(0));
    line->expect("GCHTRY").reply("HTGCRY 1,0,1,1,1,0");
    EXPECT_EQ(gc->NotReady(reason), 1);

    line->expect("GCHTST").reply("HTGCST 0,0,0,0,0,0,0,0,0,0,0,0,3,0,0");
    EXPECT_EQ(gc->Error(reason), 1);
    line->expect("GCHTST").reply("HTGCST 0,0,0,0,0,0,0,0,0,0,0,0,0,0,0");
    EXPECT_EQ(gc->Error(reason), 0);
    EXPECT_EQ(reason, "untouched");

    line->expect("GCHTST").reply("HTGCST 1,2");
    scriptRestart();
    EXPECT_EQ(gc->Error(reason), 1);
    EXPECT_EQ(reason, "GC COMMS FAILED");
    EXPECT_THAT(commsLog(), HasSubstr("Failed to query error state from GC\n"));

    line->expect("GCHTRI").reply(runStateReply(0));
    line->expect("GCHTRY");  // no answer
    scriptRestart();
    EXPECT_EQ(gc->NotReady(reason), 1);
    EXPECT_THAT(commsLog(), HasSubstr("Failed to query not ready readiness from GC\n"));

    // A reading: the elapsed time, and zero when the reading fails.
    line->expect("GCHTRI").reply(runStateReply(2, "0,0,0,1.00,0.00,3.75,0,0"));
    EXPECT_FLOAT_EQ(gc->GetElapsedTime(), 3.75f);
    line->expect("OVHTST").reply("HTOVST 50,1");  // two of three values
    scriptRestart();
    EXPECT_EQ(gc->GetCurrentOvenTemp(), 0.0f);
    EXPECT_THAT(commsLog(), HasSubstr("Failed to query oven temp from GC\n"));
    EXPECT_EQ(outside.unlocks, 2);  // no failure of a question or a reading sends the unlock
}

}  // namespace
}  // namespace gc6890::test
