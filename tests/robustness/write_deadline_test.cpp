// A write to a line that takes a few bytes now and then, never enough: the port's
// time-out bounds the whole write, not each wait for the line to drain, so the write gives
// up soon after the time-out instead of going on for as long as the line keeps trickling.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "external/termios_port.h"
#include "support/instrument_settings.h"

namespace gc6890::test {
namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr int kWriteTimeoutMs = 300;
// A robustness bound, not a speed target: a write bounded per wait instead goes on until
// the reader stops, kReaderLimitMs.
constexpr int kGiveUpWithinMs = 3000;
constexpr int kReaderLimitMs = 20000;

TEST(WriteDeadline, ATricklingLineCannotHoldAWritePastItsTimeOut)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_TRUE(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
    const std::string device = ptsname(master);

    // The other side takes 64 bytes every 5 ms (12.8 kB/s), until told to stop or the
    // limit has passed.
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        const auto until = SteadyClock::now() + std::chrono::milliseconds(kReaderLimitMs);
        char chunk[64];
        while (!stop.load() && SteadyClock::now() < until) {
            pollfd ready{master, POLLIN, 0};
            if (poll(&ready, 1, 5) > 0)
                (void)::read(master, chunk, sizeof chunk);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });

    TermiosPort port(PortSettings{.device = device});
    std::string error;
    ASSERT_TRUE(port.open(error)) << error;
    const std::string bytes(4 << 20, 'x');  // far more than the line holds or takes in time
    const auto start = SteadyClock::now();
    const bool written = port.write(bytes, kWriteTimeoutMs);
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start).count();
    stop.store(true);
    reader.join();
    port.close();
    ::close(master);

    RecordProperty("elapsed_ms", static_cast<int>(elapsed));
    EXPECT_FALSE(written);
    EXPECT_GE(elapsed, kWriteTimeoutMs - 10) << "gave up before the time-out";
    EXPECT_LE(elapsed, kGiveUpWithinMs + timeSlackMs());
}

}  // namespace
}  // namespace gc6890::test
