// The named mutex between processes: exclusion and bounded waits. (A holder killed outright
// is robustness/port_ownership_test.cpp's.)
#include <gtest/gtest.h>

#include "platform/platform.h"
#include "support/child_process.h"
#include "support/temp_home.h"

namespace {

// Each test uses its own runtime folder (its home), away from any real program's locks.
class MutexTest : public ::testing::Test {
protected:
    // Starts a process that takes the mutex, writes one byte to say so, waits for one byte,
    // lets go and writes one more.
    pid_t startHolder(int& toHolder, int& fromHolder)
    {
        int up[2], down[2];
        if (pipe(up) != 0 || pipe(down) != 0)
            return -1;
        const pid_t child = gc6890::test::inChild([&] {
            CMutex mutex(FALSE, "6890 Comm Port");
            const bool held = mutex.Lock() && write(up[1], "l", 1) == 1;
            const bool released = held && gc6890::test::awaitByte(down[0]) && mutex.Unlock();
            return released && write(up[1], "u", 1) == 1 ? 0 : 1;
        });
        close(up[1]);
        close(down[0]);
        toHolder = down[1];
        fromHolder = up[0];
        return child;
    }

    gc6890::test::TempHome m_home;  // the lock files' folder too
};

TEST_F(MutexTest, TwoProcessesExcludeEachOther)
{
    int toHolder = -1, fromHolder = -1;
    const pid_t holder = startHolder(toHolder, fromHolder);
    ASSERT_GT(holder, 0);
    ASSERT_TRUE(gc6890::test::awaitByte(fromHolder));

    CMutex mutex(FALSE, "6890 Comm Port");
    EXPECT_FALSE(mutex.Lock(0));
    EXPECT_FALSE(mutex.Lock(30));  // bounded: gives up after its time-out
    EXPECT_FALSE(mutex.Unlock());

    ASSERT_EQ(write(toHolder, "g", 1), 1);
    ASSERT_TRUE(gc6890::test::awaitByte(fromHolder));
    EXPECT_TRUE(mutex.Lock(5000));
    EXPECT_TRUE(mutex.Unlock());
    EXPECT_EQ(gc6890::test::waitForChild(holder), 0);
    close(toHolder);
    close(fromHolder);
}

TEST_F(MutexTest, OwnerMayLockAgainAndObjectsOfOneNameShareOwnership)
{
    CMutex first(FALSE, "6890 Comm Port");
    CMutex second(FALSE, "6890 Comm Port");
    ASSERT_TRUE(first.Lock(0));
    EXPECT_TRUE(first.Lock(0));
    EXPECT_TRUE(second.Lock(0));
    EXPECT_TRUE(second.Unlock());
    EXPECT_FALSE(second.Unlock());
    EXPECT_TRUE(first.Unlock());
    EXPECT_TRUE(first.Unlock());
    EXPECT_FALSE(first.Unlock());
}

TEST_F(MutexTest, LockFileNameIsSanitisedAndKeepsNamesApart)
{
    const std::string spaced = gc6890::mutexLockPath("6890 Comm Port");
    const std::string underscored = gc6890::mutexLockPath("6890_Comm_Port");
    EXPECT_EQ(spaced.rfind(m_home.path() + "/gc6890-mutex-6890_Comm_Port-", 0), 0u) << spaced;
    EXPECT_NE(spaced, underscored);
    EXPECT_EQ(gc6890::mutexLockPath("../../etc/x").find("/../"), std::string::npos);
}

}  // namespace
