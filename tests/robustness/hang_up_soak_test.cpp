// A thousand hang-ups in a row: gc6890-sim hangs up on the first line of the second poll
// on each of its lines and is back at once behind the same link. Every hang-up must fail its
// poll, replace the channel and be followed by a working poll, and the process must end the
// run with the descriptors, timers, windows and heap it had after the first cycles.
#include <gtest/gtest.h>

#include <malloc.h>

#include <cstdlib>
#include <string>

#include "comms/comms_registry.h"
#include "comms/hp6890_serial_comms.h"
#include "platform/platform.h"
#include "robustness/hang_up_session.h"

namespace gc6890::test {
namespace {

constexpr int kCycles = 1000;
constexpr int kWarmUpCycles = 20;
// Lines of one working connection after a rebuild: the start-up's twelve echo tests and
// identity, the display cleared on restore, and one poll (three questions, five readings).
// The first connection (with the comms' initialisation and the first poll's hardware
// profile) is longer, so its hang-up falls inside a poll; the warm-up cycles let the
// following connections come back into step.
constexpr int kLinesPerConnection = 13 + 1 + 8;
// The simulator hangs up on every connection, however many there are: a connection whose
// hang-up falls early (on a loaded machine an exchange that waited past the time-out is
// repeated on a rebuilt channel, adding a start-up to that connection) uses one up without a
// cycle. The run counts the polls that met a hang-up rather than assume one a cycle, and
// allows this many cycles whose poll met none.
constexpr int kOutOfStepAllowed = kCycles / 10;
// Heap growth allowed over the run: 32 bytes a hang-up, so any block lost per rebuild
// (a channel, its comms log, a window, a timer record: none under 32 bytes) exceeds it,
// while a channel's reusable line buffer (up to 16 KiB, made once) that happens to be
// alive at the end and not at the start does not.
constexpr long long kHeapToleranceBytes = 32 * kCycles;

struct Footprint {
    int descriptors = 0;
    std::size_t timers = 0;
    std::size_t windows = 0;
    long long heapBytes = 0;
};

Footprint footprint()
{
    return {openDescriptorCount(), liveTimerCount(), liveWindows().size(),
            static_cast<long long>(mallinfo2().uordblks)};
}

TEST(HangUpSoak, AThousandHangUpsLeaveNothingBehind)
{
    HangUpSession s(2000, false);
    const int maxCycles = kWarmUpCycles + kCycles + kOutOfStepAllowed;
    ASSERT_TRUE(s.startSimulator({"--hang-up-after", std::to_string(kLinesPerConnection),
                                  "--hang-ups", std::to_string(2 * maxCycles)},
                                 0));
    ASSERT_TRUE(s.startGC()) << s.log();

    const auto start = SteadyClock::now();
    Footprint warm;
    int hangUps = 0, outOfStep = 0, cycle = 0;
    for (; hangUps < kCycles && cycle < maxCycles; ++cycle) {
        // The connection's working poll (after a rebuild, or a few until the simulator
        // is back), then the poll that meets the hang-up.
        if (!s.pollUntilBack(5000 + timeSlackMs())) {
            ADD_FAILURE() << "no working poll in cycle " << cycle;
            break;
        }
        if (cycle == kWarmUpCycles)
            warm = footprint();  // as at the end: a working channel on an open port
        const int failuresBefore = s.broadcasts->m_nFailures;
        CInletSystemStatus status;
        const int polled = s.gc->ReadStatus(status);
        if (LockedOut() || CHP6890SerialComms::Busy()) {
            ADD_FAILURE() << "the lock-out or a line stayed taken in cycle " << cycle;
            break;
        }
        if (cycle < kWarmUpCycles)
            continue;
        if (polled == 1) {
            ++outOfStep;  // this connection's hang-up came before its working poll ended
            continue;
        }
        if (s.broadcasts->m_nFailures != failuresBefore + 1) {
            ADD_FAILURE() << "the failed poll of cycle " << cycle << " raised "
                          << s.broadcasts->m_nFailures - failuresBefore << " failure broadcasts";
            break;
        }
        ++hangUps;
    }
    ASSERT_TRUE(s.pollUntilBack(5000 + timeSlackMs()));
    const Footprint end = footprint();
    const auto seconds = std::chrono::duration<double>(SteadyClock::now() - start).count();

    RecordProperty("out_of_step", outOfStep);
    RecordProperty("seconds", std::to_string(seconds));
    RecordProperty("heap_growth_bytes", std::to_string(end.heapBytes - warm.heapBytes));
    const std::string log = s.log();
    EXPECT_EQ(hangUps, kCycles) << "in " << cycle << " cycles; the comms log ends:\n"
                                << log.substr(log.size() > 3000 ? log.size() - 3000 : 0);
    EXPECT_EQ(end.descriptors, warm.descriptors);
    EXPECT_EQ(end.timers, warm.timers);
    EXPECT_EQ(end.windows, warm.windows);
    // The sanitizers' allocator (a build given extra time) keeps freed blocks in quarantine;
    // their leak check covers the heap there.
    if (timeSlackMs() == 0) {
        EXPECT_LE(end.heapBytes - warm.heapBytes, kHeapToleranceBytes);
    }
}

}  // namespace
}  // namespace gc6890::test
