// The comms log's threshold, its size check at start-up with the backup question, and the
// dump file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "diagnostics/dump.h"
#include "diagnostics/error_log.h"
#include "external/inlet_utils.h"
#include "platform/clock.h"
#include "support/box_recorder.h"
#include "support/temp_home.h"

namespace {

using gc6890::test::BoxRecorder;
using gc6890::test::TempHome;

const char kLog[] = "c/dravik/hp6890.err";

void writeLogOfSize(const TempHome& home, long size)
{
    home.write(kLog, std::string(static_cast<size_t>(size), 'x'));
}

TEST(ErrorLogTest, ThresholdDecidesWhatIsWritten)
{
    struct Case {
        int threshold;
        bool failures;
        bool traffic;
    };
    for (const Case c : {Case{1, true, false}, Case{2, true, true}, Case{0, false, false}}) {
        SCOPED_TRACE(c.threshold);
        TempHome home;
        WriteRegistryPath("Inlets\\Hubrel\\Varnock\\IgnoreSeverityLevel", c.threshold,
                          HKEY_LOCAL_MACHINE);
        CHP6890ErrorLog log;
        EXPECT_EQ(log.LogError("Failed to query prep running from GC\n", 1), 1);
        EXPECT_EQ(log.LogError("Writing\t(GCHTRY)", 2), 1);
        const std::string text = home.read(kLog);
        EXPECT_EQ(text.find("\t\tFailed to query prep running from GC\n\n") != std::string::npos,
                  c.failures);
        EXPECT_EQ(text.find("\t\tWriting\t(GCHTRY)\n") != std::string::npos, c.traffic);
    }
}

// The log stays open between entries, but an entry lands in the file that has the log's
// name, after a backup or another program moved it away or put another file there; one
// that comes within 5 ms of the last look goes to the file that look found.
TEST(ErrorLogTest, EntriesFollowTheLogWhenItIsMovedOrReplaced)
{
    TempHome home;
    const std::string log = home.path() + "/" + kLog;
    gc6890::TestClock clock(1000);
    CHP6890ErrorLog errorLog;
    errorLog.LogTraffic("Writing", "GCHTRI", 1);
    std::filesystem::rename(log, log + ".moved");
    clock.advance(5);
    errorLog.LogTraffic("Received", "HTGCRI 2", 1);
    clock.advance(1);
    errorLog.LogError("second", 1);
    EXPECT_NE(home.read(kLog).find("\t\tsecond\n"), std::string::npos);
    std::ofstream(log + ".new") << "replacement\n";
    std::filesystem::rename(log + ".new", log);
    clock.advance(6);
    errorLog.LogError("third", 1);

    const std::string moved = home.read(std::string(kLog) + ".moved");
    EXPECT_NE(moved.find("\t\tWriting\t(GCHTRI)\n"), std::string::npos) << moved;
    EXPECT_NE(moved.find("\t\tReceived\t(HTGCRI 2)\n"), std::string::npos) << moved;
    EXPECT_EQ(moved.find("second"), std::string::npos) << moved;
    const std::string text = home.read(kLog);
    EXPECT_EQ(text.rfind("replacement\n", 0), 0u) << text;
    EXPECT_NE(text.find("\t\tthird\n"), std::string::npos) << text;
}

TEST(ErrorLogTest, ALogOneByteOverTheLimitIsBackedUpOrEmptiedAsTheUserAnswers)
{
    TempHome home;
    WriteRegistryPath("Inlets\\Hubrel\\Varnock\\MaxLogSize", 100, HKEY_LOCAL_MACHINE);
    BoxRecorder boxes(IDYES);
    writeLogOfSize(home, 100);
    CHP6890ErrorLog atTheLimit;
    EXPECT_TRUE(boxes.boxes.empty());
    writeLogOfSize(home, 101);
    CHP6890ErrorLog first;
    ASSERT_EQ(boxes.boxes, std::vector<std::string>{"Backup Log?:  Log file full.\nDo you want to "
                                                    "keep a backup of current log?"});
    EXPECT_EQ(home.read(kLog), "");
    EXPECT_EQ(home.read("c/dravik/hp6890.001").size(), 101u);

    writeLogOfSize(home, 101);  // full again: the next backup takes the next free number
    CHP6890ErrorLog second;
    EXPECT_EQ(home.read("c/dravik/hp6890.002").size(), 101u);
    EXPECT_EQ(home.read("c/dravik/hp6890.001").size(), 101u);

    // Answered no, a full log is emptied without a backup.
    writeLogOfSize(home, 101);
    BoxRecorder no(IDNO);
    CHP6890ErrorLog third;
    EXPECT_EQ(home.read(kLog), "");
    EXPECT_FALSE(home.exists("c/dravik/hp6890.003"));
}

TEST(ErrorLogTest, AFolderThatCannotBeMadeIsNamedOnceThenTheFileErrorBoxShows)
{
    TempHome home;
    std::filesystem::remove_all(home.path() + "/c/dravik");
    home.write("c/dravik", "a file where the log's folder goes");
    BoxRecorder boxes(IDOK);
    CHP6890ErrorLog log;
    EXPECT_EQ(log.LogError("x", 1), 1);
    EXPECT_EQ(log.LogError("y", 1), 1);
    // The system's reason comes in the user's language.
    const std::string reason = std::generic_category().message(ENOTDIR);
    const std::string fileError = "File Error: Error occured while writing to log file.\n If "
                                  "problem perists disable logging.";
    EXPECT_EQ(boxes.boxes,
              (std::vector<std::string>{"gc6890 home: Cannot make the folder " + home.path() +
                                            "/c/dravik for c:\\dravik\\hp6890.err: " + reason +
                                            ".\nSet GC6890_HOME to a folder you can write to.",
                                        fileError, fileError}));
}

TEST(DumpTest, EntriesAppendToOneFileAndFallBackWhenItCannotOpen)
{
    TempHome home;
    CString first = "TIMEOUT OF TIMEOUT WINDOW OCCURED\n";
    CString second = "second";
    Dump(first);
    Dump(second);
    CleanUpDump();
    const std::string text = home.read("c/6890dump.txt");
    EXPECT_EQ(text.rfind("File: ", 0), 0u);
    EXPECT_NE(text.find("\tLine: 67\tTime: "), std::string::npos);
    EXPECT_NE(text.find("\nTIMEOUT OF TIMEOUT WINDOW OCCURED\nFile: "), std::string::npos) << text;
    EXPECT_EQ(text.substr(text.size() - 7), "\nsecond");

    // The first name is taken by a folder: the entry lands in the first fallback.
    std::filesystem::remove(home.path() + "/c/6890dump.txt");
    std::filesystem::create_directories(home.path() + "/c/6890dump.txt");
    Dump(second);
    CleanUpDump();
    EXPECT_NE(home.read("c/6890dump0.txt").find("second"), std::string::npos);
}

}  // namespace
