// The GC and the sampler against the simulator in process, opened as the host opens them
// (the GC object first, then the sampler on the same channel), the timer window's clock and
// the simulator's moved on together: the zones and the oven, a run prepared, the sampler's
// injection with its answer late starting it, both polled through the whole run with the
// sampler stopped and reset during it; then a prepared run called off.
// (An injection answered at once, the status polls, the stop and the reset run through a
// pseudo-terminal in the host program's end-to-end run and small commands; a failed poll's
// report and rebuild are the status tests'; a real line and its hang-up are the robustness
// program's.)
#include "gc/varnock_gc_system.h"
#include "sampler/varnock_auto_sampler.h"
#include "support/in_process_simulator.h"

namespace gc6890::test {
namespace {

class RunEndToEndTest : public InProcessSimulatorTest {
protected:
    void SetUp() override
    {
        config.sampler.answer = sim::InjectionAnswer::Late;
        CVarnockAutoSampler::m_sInjectorSelection = 1;
        gc = std::make_unique<CVarnockGCSystem>();
        ASSERT_EQ(gc->InitialiseComms(), 1);
        sampler = std::make_unique<CVarnockAutoSampler>();
        ASSERT_EQ(sampler->InitialiseComms(), 1);
        ASSERT_EQ(sampler->Initialise(), 1);
        EXPECT_EQ(sampler->m_bFrontInletConfigured, 1);
        EXPECT_EQ(sampler->m_bFrontInjectorPresent, 1);
        ASSERT_TRUE(writeInjectionMethod(home.path() + "/methods/e2e.toml"));  // half a minute
        ASSERT_EQ(sampler->LoadMethod("e2e"), 1);
    }
    // Both clocks moved on, the timer window served.
    void tick(std::uint64_t ms)
    {
        clock.advance(ms);
        line->clock().advance(ms);
        PumpMessages();
    }
    std::string gcState()
    {
        CInletSystemStatus status;
        if (!gc->ReadStatus(status))
            return "poll failed";
        const std::string text = status.GetStatusInfo().str();
        for (const char* name : {"RUN IDLE", "PRE RUN", "RUN ACTIVE", "POST RUN", "GC APP FATAL"})
            if (text.find(name) != std::string::npos)
                return name;
        return text;
    }
    // Polls the sampler and the GC, `stepMs` apart (120 polls at most), until the GC reports
    // `wanted`; the GC's states on the way are collected in `seen`.
    bool pollUntil(const std::string& wanted, std::uint64_t stepMs)
    {
        for (int poll = 0; poll < 120; ++poll) {
            CInletSystemStatus status;
            EXPECT_EQ(sampler->ReadStatus(status), 1);
            EXPECT_FALSE(status.GetError());
            const std::string state = gcState();
            if (seen.empty() || seen.back() != state)
                seen.push_back(state);
            if (state == wanted)
                return true;
            tick(stepMs);
        }
        return false;
    }

    TestClock clock{1000};
    std::vector<std::string> seen;
    // Released in reverse: the sampler first, then the GC object, the channel's last user.
    std::unique_ptr<CVarnockGCSystem> gc;
    std::unique_ptr<CVarnockAutoSampler> sampler;
};

TEST_F(RunEndToEndTest, ALateInjectionStartsAPreparedRunPolledToItsEndAndTheNextIsCalledOff)
{
    EXPECT_EQ(gc->m_nAutoPrepRun, 0);
    EXPECT_EQ(gcState(), "RUN IDLE");
    EXPECT_EQ(gc->SwitchGC(On), 1);
    EXPECT_EQ(gc->GCOn(), 1);
    EXPECT_GT(gc->GetCurrentOvenTemp(), 0.0f);
    ASSERT_EQ(gc->GenericOp(1, 0), 1);  // prepare the run that the injection starts
    EXPECT_EQ(gcState(), "PRE RUN");
    EXPECT_EQ(gc->PrepRunning(), 1);
    ASSERT_EQ(sampler->StartMethod(), 1);
    EXPECT_EQ(sampler->m_bWaitingForInjectResponse, 1);
    EXPECT_TRUE(LockedOut());
    for (int wait = 0; wait < 60 && sampler->m_pCallbackWnd; ++wait)
        tick(1000);
    ASSERT_EQ(sampler->m_pCallbackWnd, nullptr);
    EXPECT_EQ(sampler->m_bInjectResponseOK, 1);
    EXPECT_EQ(sampler->m_bWaitingForInjectResponse, 1);  // until the next status read
    CInletSystemStatus status;
    EXPECT_EQ(sampler->ReadStatus(status), 1);  // takes the settled answer
    EXPECT_EQ(sampler->m_bWaitingForInjectResponse, 0);
    EXPECT_FALSE(status.GetError());

    // A second a poll until the GC runs (at most about 30 s), a minute a poll to its end;
    // the sampler stopped and reset between, which leaves the GC's run going.
    ASSERT_TRUE(pollUntil("RUN ACTIVE", 1000)) << ::testing::PrintToString(seen);
    EXPECT_EQ(gc->MethodRunning(), 1);
    EXPECT_EQ(sampler->StopMethod(), 1);
    EXPECT_EQ(sampler->ResetSampler(), 1);
    EXPECT_NE(sampler->GetALSStatus(), ALS_ERROR);
    ASSERT_TRUE(pollUntil("RUN IDLE", 60000)) << ::testing::PrintToString(seen);
    EXPECT_EQ(seen, (std::vector<std::string>{"RUN ACTIVE", "POST RUN", "RUN IDLE"}));

    ASSERT_EQ(gc->GenericOp(1, 0), 1);
    EXPECT_EQ(gc->MethodRunning(), 1);
    EXPECT_EQ(gc->StopMethod(), 1);  // a prepared run is called off
    EXPECT_EQ(gcState(), "RUN IDLE");
    EXPECT_EQ(gc->MethodRunning(), 0);
    EXPECT_EQ(gc->SwitchGC(Off), 1);
    EXPECT_EQ(gc->CloseDownComms(), 1);
    EXPECT_FALSE(LockedOut());
}

}  // namespace
}  // namespace gc6890::test
