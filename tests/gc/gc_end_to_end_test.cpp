// The GC object against the simulator in process, its clock moved on a minute between
// polls: opening comms, polling through a whole run, switching zones and stopping. (A
// failed poll's report and rebuild are the status tests'; a real line and its hang-up are
// the robustness program's.)
#include <memory>

#include "gc/gc_fixture.h"
#include "sim/in_process_line.h"
#include "support/instrument_settings.h"

namespace gc6890::test {
namespace {

class GCEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        usePort("sim", 1000);
        FreeLock();
        previous_ = SetSerialBackendFactory([this](const PortSettings&) {
            line = std::make_shared<sim::InProcessLine>();
            return line;
        });
    }
    void TearDown() override
    {
        EXPECT_FALSE(LockedOut());
        SetSerialBackendFactory(previous_);
    }

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
    // Polls until the GC reports `wanted` (two hours of instrument time at most); the
    // states passed on the way are collected.
    bool pollUntil(CVarnockGCSystem& gc, const std::string& wanted, std::vector<std::string>& seen)
    {
        for (int minute = 0; minute < 120; ++minute) {
            const std::string state = stateOf(gc);
            if (seen.empty() || seen.back() != state)
                seen.push_back(state);
            if (state == wanted)
                return true;
            line->clock().advance(60000);
        }
        return false;
    }

    TempHome home;
    QuietGCStatus quiet;
    std::shared_ptr<sim::InProcessLine> line;

private:
    SerialBackendFactory previous_;
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
