// The channel registry: one channel shared by its windows, the failure broadcast with its
// refusal box, the rebuild and restore (hundreds leave nothing behind), the 100 ms retry
// while a line is in progress, and the lock-out.
#include <malloc.h>

#include <tuple>

#include "comms/lock_out_scope.h"
#include "platform/platform.h"
#include "support/box_recorder.h"
#include "support/channel_user_window.h"
#include "support/instrument_settings.h"
#include "support/scripted_instrument.h"

namespace gc6890::test {
namespace {

using Side = ChannelUserWindow::Side;
using Answer = ChannelUserWindow::Answer;

class RegistryTest : public ScriptedInstrumentTest {
protected:
    void TearDown() override
    {
        EXPECT_EQ(LockedOut(), 0) << "a test left the lock-out taken";
        ScriptedInstrumentTest::TearDown();
    }

    // A window taking part in the broadcasts, writing into the shared journal.
    void join(ChannelUserWindow& window, const char* name)
    {
        window.m_name = name;
        window.m_pJournal = &journal;
        ASSERT_NE(window.Get(), nullptr);
    }

    BoxRecorder recorder;
    std::vector<std::string>& boxes = recorder.boxes;
    std::vector<std::string> journal;
};

TEST_F(RegistryTest, WindowsShareOneChannelUntilTheLastRelease)
{
    ChannelUserWindow first, second;
    CHP6890SerialComms* channel = first.Get();
    ASSERT_NE(channel, nullptr);
    EXPECT_EQ(second.Get(), channel);
    EXPECT_NE(IsValidCommsObject(channel), 0);
    EXPECT_EQ(IsValidCommsObject(nullptr), 0);

    // A window registered twice needs two releases; one never registered changes nothing.
    EXPECT_EQ(second.Get(), channel);
    ChannelUserWindow stranger;
    EXPECT_EQ(ReleaseSerialComms(stranger.m_hWnd), 0);
    EXPECT_EQ(ReleaseSerialComms(first.m_hWnd), 1);
    first.m_nRegistrations = 0;
    EXPECT_EQ(ReleaseSerialComms(first.m_hWnd), 0);
    EXPECT_EQ(ReleaseSerialComms(second.m_hWnd), 1);
    EXPECT_NE(IsValidCommsObject(channel), 0);  // one registration of the second is left

    // The last release deletes the channel and closes its port.
    scriptGCStart();
    ASSERT_EQ(channel->StartGCComms(), 1);
    EXPECT_EQ(ReleaseSerialComms(second.m_hWnd), 1);
    second.m_nRegistrations = 0;
    EXPECT_EQ(IsValidCommsObject(channel), 0);
    EXPECT_FALSE(line->isOpen());

    // The next user gets a new channel, with nothing started on it; something that is no
    // window (any more) gets none.
    HWND gone;
    {
        ChannelUserWindow third;
        ASSERT_NE(third.Get(), nullptr);
        EXPECT_NE(IsValidCommsObject(third.m_pChannel), 0);
        EXPECT_EQ(CHP6890SerialComms::m_sCommsStatus, 0);
        gone = third.m_hWnd;
    }
    EXPECT_EQ(GetSerialComms(nullptr), nullptr);
    EXPECT_EQ(GetSerialComms(gone), nullptr);
    EXPECT_EQ(ReleaseSerialComms(gone), 0);  // released with the window
}

TEST_F(RegistryTest, ARefusalShowsTheBoxAndKeepsTheChannel)
{
    ChannelUserWindow gc(Side::GC), keeper(Side::None, Answer::Refuse);
    join(gc, "gc");
    join(keeper, "keeper");
    CHP6890SerialComms* channel = gc.m_pChannel;
    scriptGCStart();
    ASSERT_EQ(gc.Start(), 1);

    NotifySerialCommsError();
    EXPECT_EQ(journal, (std::vector<std::string>{"gc failure", "keeper failure"}));
    EXPECT_EQ(boxes, std::vector<std::string>{"Comms Reset Failure:  Cannot reset comms: "
                                              "HP6890GC Comms busy.\nPlease try again."});
    EXPECT_EQ(recorder.flags, std::vector<UINT>{MB_OK | MB_ICONEXCLAMATION | MB_SETFOREGROUND});
    // Nothing else changed: the same channel, its GC side running, no retry.
    EXPECT_NE(IsValidCommsObject(channel), 0);
    EXPECT_EQ(CHP6890SerialComms::m_sCommsStatus, 1);
    EXPECT_TRUE(line->isOpen());
    EXPECT_FALSE(gc6890::CommsRebuildPending());
    EXPECT_EQ(gc.m_nRestores, 0);

    // The next report tries again, and now every window lets go.
    keeper.m_answer = Answer::LetGo;
    scriptGCStart();
    NotifySerialCommsError();
    EXPECT_EQ(boxes.size(), 1u);
    ASSERT_EQ(gc.m_nRestores, 1);
    EXPECT_EQ(gc.m_pChannel, gc.m_lastRestore.channel);
}

TEST_F(RegistryTest, WhenAllLetGoTheChannelIsReplacedAndHandedToEach)
{
    ChannelUserWindow gc(Side::GC, Answer::RefuseWhileBusy), sampler(Side::Sampler);
    join(gc, "gc");
    join(sampler, "sampler");
    scriptGCStart();
    ASSERT_EQ(gc.Start(), 1);
    scriptSamplerStart();
    ASSERT_EQ(sampler.Start(), 1);
    ASSERT_EQ(CHP6890SerialComms::m_sCommsStatus, 3);
    ASSERT_EQ(LockOut(), 1);  // an operation holds the lock-out when its exchange fails

    // The old channel closes the pass-through port and the port; each window then starts
    // its side on the new one.
    line->expect("CCHTPC 1").reply("HTCCPC 0");
    scriptGCStart();
    scriptSamplerStart();
    NotifySerialCommsError();

    EXPECT_EQ(journal, (std::vector<std::string>{"gc failure", "sampler failure", "gc restore",
                                                 "sampler restore"}));
    EXPECT_TRUE(boxes.empty());
    CHP6890SerialComms* rebuilt = gc.m_lastRestore.channel;
    EXPECT_NE(IsValidCommsObject(rebuilt), 0);
    for (const ChannelUserWindow* window : {&gc, &sampler}) {
        EXPECT_EQ(window->m_nRestores, 1) << window->m_name;
        EXPECT_EQ(window->m_lastRestore.channel, rebuilt);
        EXPECT_TRUE(window->m_lastRestore.valid);
        EXPECT_EQ(window->m_pChannel, rebuilt);
        EXPECT_FALSE(window->m_bRestartFailed);
    }
    EXPECT_EQ(CHP6890SerialComms::m_sCommsStatus, 3);
    EXPECT_EQ(line->openCount(), 2);
    EXPECT_EQ(LockedOut(), 0);  // the old channel released the lock-out

    line->expect("CCHTPC 1").reply("HTCCPC 0");  // the last release stops the sampler side
}

// Reports a channel failure while a line is being read on the sampler side, as a message
// dispatched during the wait would (reported twice: two operations failing together).
class BusyRegistryTest : public RegistryTest {
protected:
    void SetUp() override
    {
        RegistryTest::SetUp();
        join(*sampler, "sampler");
        scriptGCStart();
        scriptSamplerStart();
        ASSERT_EQ(sampler->Start(), 1);
        channel = sampler->m_pChannel;

        line->expect("01HTSTATUS").reply("HT01STATUS 0,0,0,0,0,0,0");
        line->duringNextRead = [this] {
            EXPECT_NE(CHP6890SerialComms::Busy(), 0);
            NotifySerialCommsError();
            NotifySerialCommsError();
            pendingDuringRead = gc6890::CommsRebuildPending();
        };
        CIntFloatArray values(7);
        // The read itself goes on.
        ASSERT_EQ(channel->SendAndReceiveToALS(CString("01HTSTATUS"), values), 1);
        ASSERT_TRUE(pendingDuringRead);
    }
    void TearDown() override
    {
        if (sampler && sampler->m_pChannel)
            line->expect("CCHTPC 1").reply("HTCCPC 0");  // the last release stops the sampler side
        sampler.reset();
        RegistryTest::TearDown();
    }

    // The rebuild: the old channel closes the pass-through port, the sampler starts again.
    void scriptRebuild()
    {
        line->expect("CCHTPC 1").reply("HTCCPC 0");
        scriptGCStart();
        scriptSamplerStart();
    }

    TestClock clock{5000};
    std::unique_ptr<ChannelUserWindow> sampler = std::make_unique<ChannelUserWindow>(Side::Sampler);
    CHP6890SerialComms* channel = nullptr;
    bool pendingDuringRead = false;
};

TEST_F(BusyRegistryTest, ABusyChannelIsRebuiltOnTheFirstTickAfterTheReadEnds)
{
    EXPECT_EQ(sampler->m_nFailures, 2);
    EXPECT_EQ(sampler->m_nRestores, 0);
    EXPECT_TRUE(boxes.empty());  // no message for a busy channel
    EXPECT_NE(IsValidCommsObject(channel), 0);

    RunFor(99);
    EXPECT_EQ(sampler->m_nRestores, 0);

    scriptRebuild();
    RunFor(1);
    ASSERT_EQ(sampler->m_nRestores, 1);
    EXPECT_TRUE(sampler->m_lastRestore.valid);
    EXPECT_EQ(sampler->m_pChannel, sampler->m_lastRestore.channel);
    EXPECT_EQ(CHP6890SerialComms::m_sCommsStatus, 2);
    EXPECT_FALSE(gc6890::CommsRebuildPending());

    // One retry at a time, and it ended with the rebuild: later ticks rebuild nothing.
    RunFor(1000);
    EXPECT_EQ(sampler->m_nRestores, 1);
}

TEST_F(BusyRegistryTest, ARebuildThatSucceedsDirectlyEndsThePendingRetry)
{
    // Another failure is reported once the read is over: the rebuild happens at once.
    scriptRebuild();
    NotifySerialCommsError();
    ASSERT_EQ(sampler->m_nRestores, 1);
    EXPECT_FALSE(gc6890::CommsRebuildPending());

    RunFor(1000);
    EXPECT_EQ(sampler->m_nRestores, 1);
}

TEST_F(BusyRegistryTest, TheLastReleaseEndsThePendingRetry)
{
    line->expect("CCHTPC 1").reply("HTCCPC 0");  // the channel goes with its sampler side
    sampler.reset();
    EXPECT_EQ(IsValidCommsObject(channel), 0);
    EXPECT_FALSE(gc6890::CommsRebuildPending());
}

// Three hundred rebuilds, half through the retry's timer (the failure reported while a line is
// read, as a hang-up during a poll does) and half at once, leave the windows, timers and
// heap as they were after the first few. 32 bytes a rebuild: any block lost per rebuild (a
// channel, its comms log, a window, a timer record) is larger. (A real line's port closed
// and opened again is robustness/hang_up_test.cpp's.)
TEST_F(RegistryTest, RebuildsLeaveNothingBehind)
{
    ChannelUserWindow gc(Side::GC);
    ASSERT_NE(gc.Get(), nullptr);
    scriptGCStart();
    ASSERT_EQ(gc.Start(), 1);
    TestClock clock{5000};
    const auto rebuild = [&](int cycle) {
        if (cycle % 2) {
            line->expect("GCHTRY").reply("HTGCRY 1,1");
            line->duringNextRead = [] { NotifySerialCommsError(); };
            CIntFloatArray readiness(2);
            EXPECT_EQ(gc.m_pChannel->SendAndReceiveToGC(CString("GCHTRY"), readiness), 1);
        }
        scriptGCStart();
        if (cycle % 2)
            RunFor(100);
        else
            NotifySerialCommsError();
    };
    const auto footprint = [] {
        return std::tuple(liveTimerCount(), liveWindows().size(),
                          static_cast<long long>(mallinfo2().uordblks));
    };
    for (int cycle = 0; cycle < 20; ++cycle)
        rebuild(cycle);
    const auto [timers, windows, heap] = footprint();
    for (int cycle = 0; cycle < 300; ++cycle)
        rebuild(cycle);
    ASSERT_EQ(gc.m_nRestores, 320);
    EXPECT_FALSE(gc6890::CommsRebuildPending());
    const auto [timersAfter, windowsAfter, heapAfter] = footprint();
    EXPECT_EQ(timersAfter, timers);
    EXPECT_EQ(windowsAfter, windows);
    // The sanitizers' allocator keeps freed blocks in quarantine; their leak check covers it.
    if (timeSlackMs() == 0) {
        EXPECT_LE(heapAfter - heap, 32 * 300);
    }
}

// The lock-out is taken once and freed once; only a scope's failed exit sends the unlock
// reset, before freeing it.
TEST(LockOutTest, TakenAndFreedOnceAndAFailedScopeSendsTheUnlockReset)
{
    ASSERT_EQ(LockedOut(), 0);
    EXPECT_EQ(LockOut(), 1);
    EXPECT_EQ(LockOut(), 0);
    EXPECT_EQ(LockedOut(), 1);
    EXPECT_EQ(FreeLock(), 1);
    EXPECT_EQ(FreeLock(), 0);
    EXPECT_EQ(LockedOut(), 0);

    // Each reset records whether the lock-out was still held when it came.
    std::vector<int> resets;
    auto reset = [](void* seen) { static_cast<std::vector<int>*>(seen)->push_back(LockedOut()); };
    {
        LockOutScope scope(reset, &resets);
        ASSERT_TRUE(scope.held());
        LockOutScope other(reset, &resets);
        EXPECT_FALSE(other.held());  // and its end frees nothing
    }                                // left without commit or fail: failed
    EXPECT_EQ(resets, std::vector<int>{1});
    EXPECT_EQ(LockedOut(), 0);
    {
        LockOutScope scope(reset, &resets);
        EXPECT_EQ(scope.commit(), 1);
        EXPECT_EQ(scope.fail(), 0);  // already freed: no second reset
    }
    EXPECT_EQ(resets.size(), 1u);
    {
        LockOutScope scope;
        scope.handOver();
    }
    EXPECT_EQ(FreeLock(), 1);  // the scope left it to whoever took it over
}

}  // namespace
}  // namespace gc6890::test
