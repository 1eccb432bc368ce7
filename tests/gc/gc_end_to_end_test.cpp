// The GC object against gc6890-sim on a pseudo-terminal (the "sim" device): opening
// comms, polling through a whole run, switching zones and stopping. (A failed poll's
// report and rebuild are the status tests'; a real hang-up is the robustness program's.)
#include <chrono>

#include "gc/gc_fixture.h"

namespace gc6890::test {
namespace {

// Upper bound on the wait for the simulated GC to change state: the whole run takes
// about 16 seconds, so the bound is reached only when the simulator is stuck. (A count of
// polls is no bound: on an idle machine a poll takes well under a millisecond.)
constexpr auto kMaxWait = std::chrono::seconds(120);
// Instrument time runs this much faster: the 27-minute run of the simulator's stored
// method takes about 14 seconds and its post-run (the oven cooling back) about two, long
// enough for a poll to see it even on a loaded machine under the sanitizers.
const char kSpeed[] = "--speed 120";

class GCEndToEndTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_FALSE(LockedOut()); }

    static std::string stateOf(CVarnockGCSystem& gc)
    {
        CInletSystemStatus status;
        if (!gc.ReadStatus(status))
            return "poll failed";
        const std::string text = status.GetStatusInfo().str();
        for (const char* name : {"RUN IDLE", "PRE RUN", "RUN ACTIVE", "POST RUN", "GC APP FATAL"})
            if (text.find(name) != std::string::npos)
                return name;
        return text;
    }
    // Polls until the GC reports `wanted`; the states passed on the way are collected.
    static bool pollUntil(CVarnockGCSystem& gc, const std::string& wanted,
                          std::vector<std::string>& seen)
    {
        for (const auto deadline = std::chrono::steady_clock::now() + kMaxWait;
             std::chrono::steady_clock::now() < deadline;) {
            const std::string state = stateOf(gc);
            if (seen.empty() || seen.back() != state)
                seen.push_back(state);
            if (state == wanted)
                return true;
        }
        return false;
    }

    TempHome home;  // with the port mutex of its own: other programs must not slow the polls
    ScopedEnv m_options{"GC6890_SIM_OPTIONS", kSpeed};
    QuietGCStatus quiet;
};

TEST_F(GCEndToEndTest, PollsAWholeRunSwitchesZonesAndStops)
{
    CVarnockGCSystem gc;
    ASSERT_EQ(gc.InitialiseComms(), 1);
    ASSERT_NE(gc.m_pChannel, nullptr);
    EXPECT_EQ(gc.m_nAutoPrepRun, 0);
    EXPECT_EQ(stateOf(gc), "RUN IDLE");
    EXPECT_EQ(gc.SwitchGC(On), 1);
    EXPECT_EQ(gc.GCOn(), 1);
    EXPECT_GT(gc.GetCurrentOvenTemp(), 0.0f);

    ASSERT_EQ(gc.GenericOp(1, 0), 1);  // prepare the run
    EXPECT_EQ(stateOf(gc), "PRE RUN");
    EXPECT_EQ(gc.PrepRunning(), 1);
    // The sampler's injection starts the run; it travels on the same channel.
    ASSERT_EQ(gc.m_pChannel->StartALSComms(), 1);
    CIntFloatArray answer(1);
    ASSERT_EQ(gc.m_pChannel->SendAndReceiveToALS("01HTSINJECT 1", answer), 1);
    EXPECT_EQ(answer.GetInt(0), 0);

    std::vector<std::string> seen;
    ASSERT_TRUE(pollUntil(gc, "POST RUN", seen)) << ::testing::PrintToString(seen);
    ASSERT_TRUE(pollUntil(gc, "RUN IDLE", seen)) << ::testing::PrintToString(seen);
    EXPECT_EQ(seen, (std::vector<std::string>{"PRE RUN", "RUN ACTIVE", "POST RUN", "RUN IDLE"}));

    ASSERT_EQ(gc.GenericOp(1, 0), 1);
    EXPECT_EQ(gc.MethodRunning(), 1);
    EXPECT_EQ(gc.StopMethod(), 1);  // a prepared run is called off
    EXPECT_EQ(stateOf(gc), "RUN IDLE");
    EXPECT_EQ(gc.MethodRunning(), 0);
    EXPECT_EQ(gc.SwitchGC(Off), 1);
    EXPECT_EQ(gc.m_pChannel->StopALSComms(), 1);
    EXPECT_EQ(gc.CloseDownComms(), 1);
}

}  // namespace
}  // namespace gc6890::test
