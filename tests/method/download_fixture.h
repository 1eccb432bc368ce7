// A method download on the scripted line: a channel whose GC side is started, a host that
// records what the download asks of the GC object, a method file in the test's home, and
// the boxes, status texts and comms log the user would see.
#pragma once

#include <cstdlib>
#include <ctime>
#include <sstream>
#include <string>
#include <vector>

#include "comms/comms_registry.h"
#include "method/method_command.h"
#include "method/method_download.h"
#include "support/box_recorder.h"
#include "support/scripted_instrument.h"

namespace gc6890::test {

// Local time pinned to UTC and the workfile clock fixed at `at` while this lives; it
// counts the clock's reads.
class FixedWallClock {
public:
    explicit FixedWallClock(std::time_t at)
    {
        setenv("TZ", "UTC", 1);
        tzset();
        m_previous = SetWorkfileWallClock([this, at] {
            ++reads;
            return at;
        });
    }
    ~FixedWallClock() { SetWorkfileWallClock(m_previous); }
    int reads = 0;

private:
    WallClock m_previous;
};

// 1 February 2011, 09:05:07 UTC.
constexpr std::time_t kFirstFebruary2011 = 1296551107;

// The GC's method as it reads back: a front and a back split/splitless inlet, FIDs, a
// column on each inlet, five unused auxiliaries and eight valves, all off, an oven with
// EPC. The commands as the GC's block holds them, ";" between them, a few to a line.
inline const char* const kGCMethodText[] = {
    "CCCCIW HP,6890,GC,SIM6890,DEFAULT,120000,010126;IFIFRC 2,1;IBIBRC 2,1",
    "IFIFCW 2,1,1,0,2,10.00,0.00;IBIBCW 2,1,1,0,2,10.00,0.00;DFDFCW 1,1,0,0;DBDBCW 1,1,0,0",
    "C1C1CW 3000,250,25,0,1,0,0,0;C2C2CW 3000,250,25,1,4,0,0,0",
    "A1A1CW 0,0,0;A2A2CW 0,0,0;A3A3CW 0,0,0;A4A4CW 0,0,0;A5A5CW 0,0,0",
    "V1V1CW 0,0,0,0.00,0;V2V2CW 0,0,0,0.00,0;V3V3CW 0,0,0,0.00,0;V4V4CW 0,0,0,0.00,0",
    "V5V5CW 0,0,0,0.00,0;V6V6CW 0,0,0,0.00,0;V7V7CW 0,0,0,0.00,0;V8V8CW 0,0,0,0.00,0",
    "OVOVCW 1,3,0,350;GCGCCW 1,1,0,0;CCCCCE 0;DFDFMF 0,1,25.00",
    "OVOVTR 50,2.00,10.00,250,5.00,0.00,0,0.00,0.00,0,0.00,0.00,0,0.00,0.00,0,0.00,0.00,0,0.00",
    "OVOVTZ 1;OVOVSP 0.50;GCGCPO 0.00,0",
    "IFIFTR 0,250,0.00,0.00,0,0.00,0.00,0,0.00,0.00,0,0.00",
    "IBIBTR 0,250,0.00,0.00,0,0.00,0.00,0,0.00,0.00,0,0.00;IFIFTZ 1;IBIBTZ 1",
    "IFIFCR 0,0,0,0,0,0,0;IFIFSP 0,1,100000,50000,20,0,0,0,0,0,0",
    "IBIBSP 0,1,100000,50000,20,0,0,0,0,0,0;DFDFTR 300;DBDBTR 300;DFDFTZ 1;DBDBTZ 1",
    "DFDFNZ 1;DBDBNZ 1;IFIFNZ 1;IBIBNZ 1;A3A3NZ 0;CCCCC1 0;CCCCC2 0",
    "S1S1CS 1,0;S1S1CA 0,0;S1S1ZA 0;S2S2CS 2,0;S2S2CA 0,0;S2S2ZA 0",
};

// That method, a command each.
inline std::vector<std::string> defaultGCMethod()
{
    std::vector<std::string> method;
    for (const char* text : kGCMethodText) {
        std::istringstream commands(text);
        for (std::string command; std::getline(commands, command, ';');)
            method.push_back(command);
    }
    return method;
}

// A method as the GC's read-back block holds it.
inline std::string readBackText(const std::vector<std::string>& method)
{
    std::string text = "HTCCMD C;\"";
    for (const auto& command : method)
        text += command + ";";
    return text + "\"";
}

// Column 1 on the front split inlet, no column 2, a one-ramp oven program.
inline const char* kSplitMethod = R"([gc]
[gc.oven]
max_temperature = 350.0
equilibration_time = 0.5
initial_temperature = 40.0
initial_time = 1.0
ramps = [ { rate = 10.0, final = 250.0, time = 5.0 } ]
[gc.column1]
inlet = "front"
pressure = { initial = 12.0 }
[gc.front_inlet]
type = 1
split = { temperature = 260.0, split_ratio = 20.0, split_flow = 24.0 }
[sampler]
)";

// The GC object's part in a download, recorded; boxes and status texts collected.
class RecordingDownloadHost : public MethodDownloadHost {
public:
    RecordingDownloadHost()
    {
        m_previousStatus = SetStatusTextHandler(
            [this](const char* text, const char*) { statusTexts.push_back(text); });
    }
    ~RecordingDownloadHost() override { SetStatusTextHandler(m_previousStatus); }

    void ClearDisplay() override { ++displayClears; }
    void InitialiseContactClosure() override { ++contactClosureResets; }
    void LockReset() override { ++lockResets; }
    void UnLockReset() override { ++unlockResets; }
    void SetAutoPrepRun(int state) override { autoPrepRun = state; }
    void ReportProgress(int sent, int total) override { progress.emplace_back(sent, total); }

    BoxRecorder recorder;
    std::vector<std::string>& boxes = recorder.boxes;
    std::vector<std::string> statusTexts;
    std::vector<std::pair<int, int>> progress;
    int displayClears = 0;
    int contactClosureResets = 0;
    int lockResets = 0;
    int unlockResets = 0;
    int autoPrepRun = -1;
    CPressure frontPressure;
    CPressure backPressure;

    CHP6890SerialComms* hostChannel = nullptr;
    // The download's view of the GC object: this test's channel and pressures.
    MethodDownloadState gcState() { return {*hostChannel, nullptr, frontPressure, backPressure}; }

private:
    StatusTextHandler m_previousStatus;
};

class DownloadTest : public ChannelTest, public RecordingDownloadHost {
protected:
    void SetUp() override { freshGC(); }
    void TearDown() override
    {
        EXPECT_EQ(LockedOut(), 0) << "the download must free the lock-out";
        EXPECT_EQ(lockResets, unlockResets) << "every lock notice needs its unlock notice";
        ChannelTest::TearDown();
    }

    // A new GC on a new line: the test's own, then one for each next case of a table.
    void freshGC()
    {
        line = std::make_shared<ScriptedLine>();
        boxes.clear();
        gcMethod = defaultGCMethod();
        scriptGCStart();
        channel = std::make_unique<CHP6890SerialComms>();
        ASSERT_EQ(channel->StartGCComms(), 1);
        hostChannel = channel.get();
    }
    // A method file in the home folder; its full name.
    std::string writeMethod(const std::string& text, const std::string& name = "method.toml")
    {
        return home.write(name, text);
    }

    // The download up to the read-back (an empty run state: the GC does not answer): display lines,
    // run state, the GC's method.
    void scriptStart(const std::string& runState = "HTGCRI 0,0,0,0,0.00,0.00,0.00,0,0")
    {
        for (const char* text : {"GCHTD1 \" \" ", "GCHTD2 \" Downloading method.\"",
                                 "GCHTD3 \"     Please Wait.\"", "GCHTD4 \" \" "})
            line->expect(text);
        if (runState.empty())
            line->expect("GCHTRI");  // no answer
        else
            line->expect("GCHTRI").reply(runState);
    }
    void scriptReadBack()
    {
        line->expect("CCHTMD ?").reply("HTCCMD B;\"\"");
        line->expect("CCHTMD +").reply(readBackText(gcMethod));
        line->expect("CCHTMD +").reply("HTCCMD E;\"NONE\"");
        line->expect("GCHTD1 \" \"");
    }
    // The run table holding both contact-closure items.
    void scriptRunTable(const std::string& entries = "0.00,7,1,0.02,7,0")
    {
        std::string reply = "HTGCRR " + entries;
        const int given = static_cast<int>(std::count(entries.begin(), entries.end(), ',')) + 1;
        for (int i = given; i < 75; ++i)
            reply += i % 3 == 0 ? ",0.00" : ",0";
        line->expect("GCHTRR").reply(reply);
    }
    // Every line of a block, each echoed.
    void scriptBlock(const std::string& block)
    {
        std::istringstream lines(block);
        for (std::string text; std::getline(lines, text);)
            line->expect(text).reply("HTCCMD " + text.substr(7));
    }
    std::string log() const { return home.read("c/dravik/hp6890.err"); }

    std::vector<std::string> gcMethod;
};

}  // namespace gc6890::test
