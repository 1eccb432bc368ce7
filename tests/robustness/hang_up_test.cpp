// The line hangs up: while idle, during a status poll and at every line of a method
// download, gc6890-sim moving to a new pseudo-terminal behind the same link after each
// hang-up (--reconnect-after). Each time the call in progress
// (or, when idle, the next one) fails within half a second of the hang-up, the failure is
// logged and reported, the lock-out is free, and once gc6890-sim is back behind the same
// link the next poll works; after a cut download the GC holds the old method or the new
// one, never a mixture, and no port is left open.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <future>
#include <iterator>
#include <string>
#include <vector>

#include "comms/comms_registry.h"
#include "comms/hp6890_serial_comms.h"
#include "comms/registered_messages.h"
#include "external/inlet_utils.h"
#include "gc/varnock_gc_system.h"
#include "method/method_readback.h"
#include "support/channel_user_window.h"
#include "support/instrument_settings.h"
#include "support/simulator_program.h"
#include "support/source_tree.h"
#include "support/temp_home.h"

namespace gc6890::test {
namespace {

using SteadyClock = std::chrono::steady_clock;

// Far longer than the bound below: a hang-up noticed only when a read times out fails it.
constexpr int kTimeoutMs = 2000;
constexpr int kNoticeMs = 500;
// How long the simulator may take to come back and the channel to be rebuilt.
constexpr int kBackWithinMs = 5000;

long long msBetween(SteadyClock::time_point from, SteadyClock::time_point to)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
}

// Notes when a pseudo-terminal hangs up, from a descriptor of its own watched by a thread,
// so that a case can tell how long after the hang-up the library noticed it.
class HangUpWatch {
public:
    // O_NOCTTY: the device must not become the test's controlling terminal. Nothing is
    // read from this descriptor; it only waits for the hang-up.
    explicit HangUpWatch(const std::string& device)
        : m_fd(::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC))
    {
        m_when = std::async(std::launch::async, [this] {
                     // POLLHUP and POLLERR are reported whatever is asked.
                     for (pollfd watched{m_fd, 0, 0}; !m_stop.load();)
                         if (::poll(&watched, 1, 20) > 0 && (watched.revents & (POLLHUP | POLLERR)))
                             break;
                     return SteadyClock::now();
                 }).share();
    }
    ~HangUpWatch()
    {
        m_stop.store(true);
        m_when.wait();
        ::close(m_fd);
    }

    bool opened() const { return m_fd >= 0; }
    // Waits (at most `limitMs`) for the hang-up; false when none came.
    bool waitFor(int limitMs) const
    {
        return m_when.wait_for(std::chrono::milliseconds(limitMs)) == std::future_status::ready;
    }
    SteadyClock::time_point when() const { return m_when.get(); }

private:
    const int m_fd;
    std::atomic<bool> m_stop{false};
    std::shared_future<SteadyClock::time_point> m_when;
};

class HangUpTest : public ::testing::Test {
protected:
    // The port: the link, the read time-out and the whole line traffic logged.
    HangUpTest()
    {
        usePort(link, kTimeoutMs, 2);
        m_previousBoxHandler =
            SetMessageBoxHandler([this](HWND, const char* text, const char*, UINT) {
                boxes.push_back(text);
                return IDOK;
            });
        while (FreeLock()) {
        }
    }
    ~HangUpTest() override
    {
        stop();
        SetMessageBoxHandler(m_previousBoxHandler);
    }

    // The objects released (the channel with them: the port closed), the simulator stopped.
    void stop()
    {
        broadcasts.reset();
        gc.reset();
        sim.stop();
    }
    // gc6890-sim (re)started with these options behind the link, on a new line
    // `reconnectAfterMs` after each hang-up, and the GC object started on it; the hang-up
    // watch on its first line.
    void restart(std::vector<std::string> options, int reconnectAfterMs = 100)
    {
        stop();
        logAtStart = log().size();
        options.insert(options.end(),
                       {"--link", link, "--reconnect-after", std::to_string(reconnectAfterMs)});
        ASSERT_TRUE(sim.start(options)) << "gc6890-sim did not start";
        watch = std::make_unique<HangUpWatch>(sim.devicePath());
        ASSERT_TRUE(watch->opened()) << sim.devicePath();
        gc = std::make_unique<CVarnockGCSystem>();
        broadcasts = std::make_unique<ChannelUserWindow>();
        ASSERT_TRUE(broadcasts->Get() && gc->InitialiseComms() == 1) << log();
    }
    std::string log() const { return home.read("c/dravik/hp6890.err"); }

    // Polls the GC (pumping the rebuild retry in between) until a poll answers from a
    // working channel; false when none did within `limitMs`.
    bool pollUntilBack(int limitMs)
    {
        const auto until = SteadyClock::now() + std::chrono::milliseconds(limitMs);
        while (SteadyClock::now() < until) {
            CInletSystemStatus status;
            const int polled = gc->ReadStatus(status);
            if (polled == 1 && gc->m_pChannel && IsValidCommsObject(gc->m_pChannel) &&
                CString(status.GetErrorInfo()) != "SERIAL COMMS FAILURE")
                return true;
            RunFor(5);  // the rebuild retry's timer, if one runs
        }
        return false;
    }

    // What every hang-up met by an operation must leave: noticed within the bound (from the
    // hang-up, or from the call when idle, to the call's return), logged as a port failure,
    // nothing locked, and a working channel once the simulator is back.
    void expectNoticed(SteadyClock::time_point from, SteadyClock::time_point to)
    {
        RecordProperty("elapsed_ms", static_cast<int>(msBetween(from, to)));
        EXPECT_LE(msBetween(from, to), kNoticeMs + timeSlackMs());
        const std::string log = sessionLog();
        EXPECT_TRUE(log.find("hung up or failed") != std::string::npos ||
                    log.find("cannot write to") != std::string::npos)
            << "no port failure logged";
        EXPECT_EQ(LockedOut(), 0);
        EXPECT_EQ(CHP6890SerialComms::Busy(), 0);
        EXPECT_TRUE(pollUntilBack(kBackWithinMs + timeSlackMs()))
            << "no working poll after the hang-up";
    }

    // That, and the operation's own text logged, the failure broadcast once and the channel
    // rebuilt.
    void expectHandled(SteadyClock::time_point from, SteadyClock::time_point to, const char* text)
    {
        EXPECT_NE(sessionLog().find(text), std::string::npos) << text;
        EXPECT_EQ(broadcasts->m_nFailures, 1) << "the failure was not broadcast";
        EXPECT_GE(broadcasts->m_nRestores, 1) << "the channel was not rebuilt";
        expectNoticed(from, to);
    }

    // What was logged since the simulator was (re)started, and the lines written to it.
    std::string sessionLog() const { return log().substr(logAtStart); }
    int linesThisSession() const
    {
        const std::string log = sessionLog();
        int count = 0;
        for (std::size_t at = log.find("Writing\t("); at != std::string::npos;
             at = log.find("Writing\t(", at + 1))
            ++count;
        return count;
    }

    // The GC's stored method as read back over the current channel, one command a line,
    // without the workfile identity (it carries the time of the download).
    bool readStoredMethod(std::string& text)
    {
        CCommandStringList list;
        if (!gc->m_pChannel || !LockOut())
            return false;
        const int read = gc6890::ReadMethodFromGC(*gc->m_pChannel, list);
        FreeLock();
        if (!read)
            return false;
        text.clear();
        for (POSITION at = list.GetHeadPosition(); at;) {
            const CString command = list.GetNext(at).GetString();
            if (command.Left(6) != "CCCCIW")
                text += command.str() + "\n";
        }
        return true;
    }

    TempHome home;
    SimulatorProgram sim;
    const std::string link = home.path() + "/gc-line";
    std::vector<std::string> boxes;
    std::unique_ptr<CVarnockGCSystem> gc;
    // An outside user of the channel, made with the GC object: it counts the failure
    // broadcasts and the restores that hand over a rebuilt channel.
    std::unique_ptr<ChannelUserWindow> broadcasts;
    std::unique_ptr<HangUpWatch> watch;
    std::size_t logAtStart = 0;

private:
    MessageBoxHandler m_previousBoxHandler;
};

TEST_F(HangUpTest, WhileIdleTheNextPollFailsAtOnceAndTheChannelIsRebuilt)
{
    // The hang-up comes a while after the start-up's first line, when the GC is idle.
    const int afterMs = 1000 + 3 * timeSlackMs();
    ASSERT_NO_FATAL_FAILURE(
        restart({"--hang-up-after", "1", "--hang-up-delay", std::to_string(afterMs)}));
    ASSERT_FALSE(watch->waitFor(0)) << "the hang-up came during the start-up";
    ASSERT_TRUE(watch->waitFor(afterMs + 2000));

    CInletSystemStatus status;
    const auto start = SteadyClock::now();
    EXPECT_EQ(gc->ReadStatus(status), 0);
    expectHandled(start, SteadyClock::now(), "GC READ STATUS: Failed to get run state and time");
}

TEST_F(HangUpTest, DuringAStatusPollThePollFailsAtOnceAndTheChannelIsRebuilt)
{
    // Lines up to the end of a first poll, counted on a simulator without the fault.
    ASSERT_NO_FATAL_FAILURE(restart({}));
    CInletSystemStatus first;
    ASSERT_EQ(gc->ReadStatus(first), 1);
    const int linesBefore = linesThisSession();

    // The second poll's "GCHTRI" is answered, its "GCHTRY" meets the hang-up.
    ASSERT_NO_FATAL_FAILURE(restart({"--hang-up-after", std::to_string(linesBefore + 1)}));
    ASSERT_EQ(gc->ReadStatus(first), 1);

    CInletSystemStatus status;
    EXPECT_EQ(gc->ReadStatus(status), 0);
    const auto returned = SteadyClock::now();
    ASSERT_TRUE(watch->waitFor(1000)) << "the poll did not meet the hang-up";
    expectHandled(watch->when(), returned, "GC READ STATUS: Failed to get readiness info");
}

// The method download cut at each of its lines, twice: the line lost on its way (the GC
// never applies it) and the line applied but its answer lost. The GC holds the old method
// after every cut but the one after it took "CCHTMI", when it holds the new one.
TEST_F(HangUpTest, DuringAMethodDownloadCutAtEveryLineTheGCKeepsTheOldMethodOrTheNew)
{
    // The old and the new method differ in the method block only (the oven's initial
    // temperature): the configuration sent ahead of the block as immediate commands, which
    // the GC takes at once and keeps whatever follows, is the same in both.
    std::ifstream in(gc6890::test::sourcePath("methods/split_front.toml"));
    const std::string oldText{std::istreambuf_iterator<char>(in), {}};
    const std::string from = "initial_temperature = 50.0";
    std::string newText = oldText;
    newText.replace(newText.find(from), from.size(), "initial_temperature = 65.0");
    const std::string oldFile = home.write("old.toml", oldText);
    const std::string newFile = home.write("new.toml", newText);

    // Every session: the old method downloaded and read back, then the new one.
    std::string oldMethod, newMethod;
    auto downloadTheOld = [&] {
        ASSERT_EQ(gc->LoadMethod(CString(oldFile)), 1) << (boxes.empty() ? "" : boxes.back());
        ASSERT_TRUE(readStoredMethod(oldMethod));
    };
    ASSERT_NO_FATAL_FAILURE(restart({}, 20));
    ASSERT_NO_FATAL_FAILURE(downloadTheOld());
    const std::string expectedOld = oldMethod;
    const int linesBefore = linesThisSession();
    ASSERT_EQ(gc->LoadMethod(CString(newFile)), 1) << (boxes.empty() ? "" : boxes.back());
    const int downloadLines = linesThisSession() - linesBefore;
    ASSERT_TRUE(readStoredMethod(newMethod));
    ASSERT_NE(expectedOld, newMethod) << "the download changes nothing: the case proves nothing";

    // Every cut closes a port and opens another: none may stay open (the GC object, its
    // rebuilt channel and the watch are there at the end as now).
    const int descriptors = openDescriptorCount();
    long long slowest = 0;
    for (int k = 1; k <= downloadLines; ++k) {
        for (const bool applied : {false, true}) {
            SCOPED_TRACE("cut at download line " + std::to_string(k) +
                         (applied ? ", answer lost" : ", line lost"));
            std::vector<std::string> options{"--hang-up-after",
                                             std::to_string(linesBefore + k - (applied ? 0 : 1))};
            if (applied)
                options.insert(options.end(), {"--hang-up-delay", "0"});
            ASSERT_NO_FATAL_FAILURE(restart(options, 20));
            ASSERT_NO_FATAL_FAILURE(downloadTheOld());
            ASSERT_EQ(oldMethod, expectedOld);
            ASSERT_EQ(linesThisSession(), linesBefore)
                << "the session did not repeat the counted lines";
            boxes.clear();

            const int result = gc->LoadMethod(CString(newFile));
            const auto returned = SteadyClock::now();
            EXPECT_EQ(result, 0);
            ASSERT_TRUE(watch->waitFor(1000)) << "the download did not meet the hang-up";
            slowest = std::max(slowest, msBetween(watch->when(), returned));
            ASSERT_NO_FATAL_FAILURE(expectNoticed(watch->when(), returned));

            std::string stored;
            ASSERT_TRUE(readStoredMethod(stored));
            const bool tookInstall = applied && k == downloadLines;
            EXPECT_EQ(stored, tookInstall ? newMethod : expectedOld);
        }
    }
    EXPECT_EQ(openDescriptorCount(), descriptors);
    RecordProperty("download_lines", downloadLines);
    RecordProperty("slowest_notice_ms", static_cast<int>(slowest));
}

}  // namespace
}  // namespace gc6890::test
