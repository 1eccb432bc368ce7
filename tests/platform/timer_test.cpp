// Timers and time under the test clock: order, intervals, wrap-around of timeGetTime(),
// and timers that end with their window.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"

namespace {

std::vector<std::string> g_fired;

void CALLBACK recordTick(HWND, UINT message, UINT_PTR id, DWORD time)
{
    EXPECT_EQ(message, WM_TIMER);
    g_fired.push_back(std::to_string(id) + "@" + std::to_string(time));
}

class TickingWindow : public CWnd {
public:
    void OnTimer(UINT_PTR id) override
    {
        g_fired.push_back("on" + std::to_string(id));
        if (id == m_deleteOn)
            delete this;
    }
    UINT_PTR m_deleteOn = 0;
};

// A window on a test clock that starts at 1000 ms.
class TimerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_fired.clear();
        ASSERT_TRUE(window.CreateEx(0, "C", "T", 0, 0, 0, 1, 1, nullptr, nullptr));
    }
    gc6890::TestClock m_clock{1000};
    TickingWindow window;
};

TEST_F(TimerTest, OneLatePumpRunsEachDueTimerOnceInDueOrder)
{
    window.SetTimer(5, 50, recordTick);
    window.SetTimer(6, 20, recordTick);
    Sleep(1000);
    PumpMessages();
    EXPECT_EQ(g_fired, (std::vector<std::string>{"6@2000", "5@2000"}));
    g_fired.clear();
    RunFor(20);  // due again one interval after the late pump, not in a burst
    EXPECT_EQ(g_fired, (std::vector<std::string>{"6@2020"}));
}

TEST_F(TimerTest, RestartedAndZeroIdentifiers)
{
    const UINT_PTR first = window.SetTimer(0, 500, recordTick);
    const UINT_PTR second = window.SetTimer(0, 100, recordTick);
    EXPECT_NE(first, 0u);
    EXPECT_NE(second, 0u);
    EXPECT_NE(first, second);
    window.SetTimer(second, 500, recordTick);  // restarts with the new interval
    RunFor(499);
    EXPECT_TRUE(g_fired.empty());
    RunFor(1);
    EXPECT_EQ(g_fired.size(), 2u);
    EXPECT_EQ(SetTimer(nullptr, 1, 10, recordTick), 0u);
}

TEST_F(TimerTest, DestroyedOrDeletedWindowRunsNoMoreTimers)
{
    window.SetTimer(1, 100, recordTick);
    const HWND handle = window.GetSafeHwnd();
    window.DestroyWindow();
    EXPECT_FALSE(gc6890::nextTimerDue().has_value());
    EXPECT_EQ(SetTimer(handle, 1, 100, recordTick), 0u);
    RunFor(500);
    EXPECT_TRUE(g_fired.empty());

    // A window deleted by its earlier timer does not run its later ones.
    auto* doomed = new TickingWindow;
    ASSERT_TRUE(doomed->CreateEx(0, "C", "T", 0, 0, 0, 1, 1, nullptr, nullptr));
    doomed->m_deleteOn = 1;
    doomed->SetTimer(1, 100, nullptr);
    doomed->SetTimer(2, 100, nullptr);
    RunFor(1000);
    EXPECT_EQ(g_fired, (std::vector<std::string>{"on1"}));
}

void CALLBACK pumpInside(HWND window, UINT message, UINT_PTR id, DWORD time)
{
    recordTick(window, message, id, time);
    PumpMessages();  // as a wait that lets window messages through does
}

TEST_F(TimerTest, NestedPumpDoesNotRunATimerTwice)
{
    window.SetTimer(1, 100, pumpInside);
    window.SetTimer(2, 100, recordTick);
    RunFor(100);
    EXPECT_EQ(g_fired, (std::vector<std::string>{"1@1100", "2@1100"}));
}

TEST(TimeTest, TimeGetTimeWrapsAndTimersKeepTheirOrder)
{
    g_fired.clear();
    gc6890::TestClock clock(0xFFFFFF00u);
    const DWORD start = timeGetTime();
    CWnd window;
    ASSERT_TRUE(window.CreateEx(0, "C", "T", 0, 0, 0, 1, 1, nullptr, nullptr));
    window.SetTimer(1, 200, recordTick);
    window.SetTimer(2, 300, recordTick);
    RunFor(600);
    EXPECT_LT(timeGetTime(), start);         // wrapped
    EXPECT_EQ(timeGetTime() - start, 600u);  // unsigned differences still hold
    EXPECT_EQ(g_fired,
              (std::vector<std::string>{"1@4294967240", "2@44", "1@144", "1@344", "2@344"}));
}

}  // namespace
