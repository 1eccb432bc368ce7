// The sampler against the simulator in process, the timer window's clock and the
// simulator's moved on together a second at a time: load, inject with the answer late, poll
// the sampler and the GC through the run, stop and reset. (An injection answered at once,
// the status polls, the stop and the reset run through a pseudo-terminal in the host
// program's end-to-end run and small commands.)
#include <gtest/gtest.h>

#include "comms/comms_registry.h"
#include "gc/varnock_gc_system.h"
#include "sampler/varnock_auto_sampler.h"
#include "sim/in_process_line.h"
#include "support/instrument_settings.h"
#include "support/temp_home.h"

namespace gc6890::test {
namespace {

class SamplerEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim::SimConfig config;
        config.sampler.answer = sim::InjectionAnswer::Late;
        line = std::make_shared<sim::InProcessLine>(config);
        m_previous = SetSerialBackendFactory([this](const PortSettings&) { return line; });
        usePort("sim", 1000);
        FreeLock();
        CVarnockAutoSampler::m_sInjectorSelection = 1;
        // The host's order: the GC object first, then the sampler on the same channel.
        gcSystem = std::make_unique<CVarnockGCSystem>();
        ASSERT_EQ(gcSystem->InitialiseComms(), 1);
        sampler = std::make_unique<CVarnockAutoSampler>();
        ASSERT_EQ(sampler->InitialiseComms(), 1);
        ASSERT_EQ(sampler->Initialise(), 1);
        EXPECT_EQ(sampler->m_bFrontInletConfigured, 1);
        EXPECT_EQ(sampler->m_bFrontInjectorPresent, 1);
        ASSERT_TRUE(writeInjectionMethod(home.path() + "/methods/e2e.toml"));  // half a minute
        ASSERT_EQ(sampler->LoadMethod("e2e"), 1);
    }
    void TearDown() override
    {
        sampler.reset();
        gcSystem.reset();  // the last user: the channel stops
        SetSerialBackendFactory(m_previous);
    }
    // A second on both clocks, the timer window served.
    void tick()
    {
        clock.advance(1000);
        line->clock().advance(1000);
        PumpMessages();
    }

    TempHome home;
    TestClock clock{1000};
    std::shared_ptr<sim::InProcessLine> line;
    std::unique_ptr<CVarnockGCSystem> gcSystem;
    std::unique_ptr<CVarnockAutoSampler> sampler;

private:
    SerialBackendFactory m_previous;
};

TEST_F(SamplerEndToEndTest, LateAnswerIsAwaitedByTheTimerWindow)
{
    ASSERT_EQ(sampler->StartMethod(), 1);
    EXPECT_EQ(sampler->m_bWaitingForInjectResponse, 1);
    EXPECT_TRUE(LockedOut());
    for (int wait = 0; wait < 60 && sampler->m_pCallbackWnd; ++wait)
        tick();
    ASSERT_EQ(sampler->m_pCallbackWnd, nullptr);
    EXPECT_EQ(sampler->m_bInjectResponseOK, 1);
    CInletSystemStatus status;
    EXPECT_EQ(sampler->ReadStatus(status), 1);  // takes the settled answer
    EXPECT_EQ(sampler->m_bWaitingForInjectResponse, 0);
    EXPECT_FALSE(status.GetError());

    // The sampler and the GC polled until the GC runs (at most about 30 s).
    bool running = false;
    for (int poll = 0; poll < 60 && !running; ++poll) {
        CInletSystemStatus polled;
        EXPECT_EQ(sampler->ReadStatus(polled), 1);
        EXPECT_FALSE(polled.GetError());
        EXPECT_EQ(gcSystem->ReadStatus(polled), 1);
        running = gcSystem->MethodRunning();
        if (!running)
            tick();
    }
    EXPECT_TRUE(running);

    EXPECT_EQ(sampler->StopMethod(), 1);
    EXPECT_EQ(sampler->ResetSampler(), 1);
    // The GC's run goes on (the GC object stops it); the sampler still answers.
    EXPECT_NE(sampler->GetALSStatus(), ALS_ERROR);
    EXPECT_FALSE(LockedOut());
}

}  // namespace
}  // namespace gc6890::test
