// The line hangs up. Through a pseudo-terminal while the GC is idle: gc6890-sim moves to a
// new pseudo-terminal behind the same link after the hang-up (--reconnect-after), the next
// poll fails at once, and the rebuilt channel reaches the simulator again without leaving
// a port open. In process, at every line of a method download, on the simulator whose line
// works again when a rebuilt channel opens it: the download fails at once, nothing is
// locked, and the GC holds the old method or the new one, never a mixture. (The port
// finding a pseudo-terminal's hang-up at its next write or read is external's
// TermiosPortTest.)
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "comms/comms_registry.h"
#include "comms/hp6890_serial_comms.h"
#include "external/inlet_utils.h"
#include "gc/varnock_gc_system.h"
#include "method/method_readback.h"
#include "sim/in_process_line.h"
#include "support/box_recorder.h"
#include "support/channel_user_window.h"
#include "support/instrument_settings.h"
#include "support/serial_backend_scope.h"
#include "support/simulator_program.h"
#include "support/source_tree.h"
#include "support/temp_home.h"

namespace gc6890::test {
namespace {

using SteadyClock = std::chrono::steady_clock;

// Far longer than the bound below: a hang-up noticed only when a read times out fails it.
constexpr int kHangUpTimeoutMs = 2000;
constexpr int kNoticeMs = 500;
// How long the simulator may take to come back and the channel to be rebuilt.
constexpr int kBackWithinMs = 5000;

long long msSince(SteadyClock::time_point from)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - from).count();
}

class HangUpTest : public ::testing::Test {
protected:
    // The port: the link, the read time-out and the whole line traffic logged.
    HangUpTest()
    {
        usePort(link, kHangUpTimeoutMs, 2);
        while (FreeLock()) {
        }
    }
    ~HangUpTest() override { stopGC(); }

    // The objects released (the channel with them: the port closed).
    void stopGC()
    {
        broadcasts.reset();
        gc.reset();
    }
    // The GC object started on the line, with an outside user of its channel.
    void startGC()
    {
        logAtStart = home.read("c/dravik/hp6890.err").size();
        gc = std::make_unique<CVarnockGCSystem>();
        broadcasts = std::make_unique<ChannelUserWindow>();
        ASSERT_TRUE(broadcasts->Get() && gc->InitialiseComms() == 1) << sessionLog();
    }

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

    // What every hang-up met by an operation must leave: the call returned within the
    // bound, a port failure logged, nothing locked, and a working channel again.
    void expectNoticed(long long elapsedMs)
    {
        EXPECT_LE(elapsedMs, kNoticeMs + timeSlackMs());
        const std::string log = sessionLog();
        EXPECT_TRUE(log.find("hung up or failed") != std::string::npos ||
                    log.find("cannot write to") != std::string::npos)
            << "no port failure logged";
        EXPECT_EQ(LockedOut(), 0);
        EXPECT_EQ(CHP6890SerialComms::Busy(), 0);
        EXPECT_TRUE(pollUntilBack(kBackWithinMs + timeSlackMs()))
            << "no working poll after the hang-up";
    }

    // What was logged since the GC object was started, and the lines written to it.
    std::string sessionLog() const { return home.read("c/dravik/hp6890.err").substr(logAtStart); }
    int linesThisSession() const
    {
        const std::string log = sessionLog();
        int count = 0;
        for (std::size_t at = log.find("Writing\t("); at != std::string::npos;
             at = log.find("Writing\t(", at + 1))
            ++count;
        return count;
    }

    TempHome home;
    const std::string link = home.path() + "/gc-line";
    SimulatorProgram sim;  // stopped after the GC object has let go of its line
    BoxRecorder recorder;
    std::unique_ptr<CVarnockGCSystem> gc;
    // An outside user of the channel, made with the GC object: it counts the failure
    // broadcasts and the restores that hand over a rebuilt channel.
    std::unique_ptr<ChannelUserWindow> broadcasts;
    std::size_t logAtStart = 0;
};

TEST_F(HangUpTest, WhileIdleTheNextPollFailsAtOnceAndTheChannelIsRebuiltBehindTheLink)
{
    // The hang-up comes a while after the start-up's first line, when the GC is idle.
    const int afterMs = 1000 + 3 * timeSlackMs();
    ASSERT_TRUE(sim.start({"--hang-up-after", "1", "--hang-up-delay", std::to_string(afterMs),
                           "--link", link, "--reconnect-after", "100"}));
    // A descriptor of the test's own on the first line, only to see its hang-up come.
    // O_NOCTTY: the device must not become the test's controlling terminal.
    const int watched = ::open(sim.devicePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(watched, 0) << sim.devicePath();
    ASSERT_NO_FATAL_FAILURE(startGC());
    // The GC object's open port and the watch: after the rebuild the same count.
    const int descriptors = openDescriptorCount();
    // POLLHUP and POLLERR are reported whatever is asked.
    pollfd hangUp{watched, 0, 0};
    ASSERT_EQ(::poll(&hangUp, 1, 0), 0) << "the hang-up came during the start-up";
    ASSERT_EQ(::poll(&hangUp, 1, afterMs + 2000), 1);
    ::close(watched);

    CInletSystemStatus status;
    const auto start = SteadyClock::now();
    EXPECT_EQ(gc->ReadStatus(status), 0);
    const long long elapsed = msSince(start);
    EXPECT_NE(sessionLog().find("GC READ STATUS: Failed to get run state and time"),
              std::string::npos);
    EXPECT_EQ(broadcasts->m_nFailures, 1) << "the failure was not broadcast";
    EXPECT_GE(broadcasts->m_nRestores, 1) << "the channel was not rebuilt";
    expectNoticed(elapsed);
    EXPECT_EQ(openDescriptorCount(), descriptors - 1) << "the hung-up port stayed open";
}

// The method download cut at each of its lines, twice: the line lost on its way (the GC
// never applies it) and the line applied but its answer lost. The GC holds the old method
// after every cut but the one after it took "CCHTMI", when it holds the new one.
class DownloadHangUpTest : public HangUpTest {
protected:
    void TearDown() override { stopGC(); }  // before the port factory is restored

    // A new simulator with these faults, and the GC object started on it.
    void restart(const sim::Faults& faults)
    {
        stopGC();
        sim::SimConfig config;
        config.faults = faults;
        line = std::make_shared<sim::InProcessLine>(config);
        ASSERT_NO_FATAL_FAILURE(startGC());
    }
    int load(const std::string& file) { return gc->LoadMethod(CString(file)); }
    std::string lastBox() const { return recorder.boxes.empty() ? "" : recorder.boxes.back(); }

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

    std::shared_ptr<sim::InProcessLine> line;

private:
    SerialBackendScope m_backend{[this](const PortSettings&) {
        // The cable is plugged back in by the time a rebuilt channel opens the line.
        if (line->instrument().hungUp())
            line->instrument().reconnect();
        return line;
    }};
};

TEST_F(DownloadHangUpTest, CutAtEveryLineTheGCKeepsTheOldMethodOrTheNew)
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
    ASSERT_NO_FATAL_FAILURE(restart({}));
    ASSERT_EQ(load(oldFile), 1) << lastBox();
    ASSERT_TRUE(readStoredMethod(oldMethod));
    const int linesBefore = linesThisSession();
    ASSERT_EQ(load(newFile), 1) << lastBox();
    const int downloadLines = linesThisSession() - linesBefore;
    ASSERT_TRUE(readStoredMethod(newMethod));
    ASSERT_NE(oldMethod, newMethod) << "the download changes nothing: the case proves nothing";

    for (int k = 1; k <= downloadLines; ++k) {
        for (const bool applied : {false, true}) {
            SCOPED_TRACE("cut at download line " + std::to_string(k) +
                         (applied ? ", answer lost" : ", line lost"));
            sim::Faults faults;
            faults.hangUpAfterLines = linesBefore + k - (applied ? 0 : 1);
            faults.hangUpDelayMs = applied ? 0 : -1;
            ASSERT_NO_FATAL_FAILURE(restart(faults));
            std::string stored;
            ASSERT_EQ(load(oldFile), 1) << lastBox();
            ASSERT_TRUE(readStoredMethod(stored));
            ASSERT_EQ(stored, oldMethod);
            ASSERT_EQ(linesThisSession(), linesBefore)
                << "the session did not repeat the counted lines";

            const auto start = SteadyClock::now();
            EXPECT_EQ(load(newFile), 0);
            ASSERT_NO_FATAL_FAILURE(expectNoticed(msSince(start)));
            ASSERT_TRUE(readStoredMethod(stored));
            EXPECT_EQ(stored, applied && k == downloadLines ? newMethod : oldMethod);
        }
    }
}

}  // namespace
}  // namespace gc6890::test
