// The host program under line faults, signals, bad files and bad settings: each case ends
// with its exit code and a one-line message in bounded time, with nothing left running.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "program_run.h"
#include "support/simulator_program.h"

namespace gc6890::hosttest {
namespace {

using gc6890::test::SimulatorProgram;

struct FaultCase {
    const char* name;
    std::vector<std::string> command;  // "{home}" and "{method}" are filled in
    // Simulator options (besides --speed 120) of the built-in simulator, or, with
    // `external`, of gc6890-sim started by the test on its own line: a line that stays
    // silent across the channel's rebuild, or a device the test holds.
    std::string simulator = {};
    std::string settings = {};  // lines under the port key of the settings store
    int exitCode;               // -1: killed by the signal
    std::string says = {};      // in standard error
    SignalAt signal{};
    int withinMs = 20000;  // the whole run, or from the signal to the exit
    bool external = false;
    bool holdDevice = false;  // the test holds the external device's lock
};

class HostFaultsTest : public HomeTest, public ::testing::WithParamInterface<FaultCase> {
protected:
    void SetUp() override
    {
        method = home.path() + "/m.toml";
        ASSERT_EQ(run({"method", "new", method}).exitCode, 0);
        // Both injectors, the back one on vials offset by 50: vial 51 has no partner.
        std::string offset = home.read("m.toml");
        offset.replace(offset.find("front_injector = true"), 21,
                       "both_injectors = true\noffset_back_vials = true");
        offset.insert(offset.find("[sampler]"), "[gc.back_inlet]\ntype = 1\n[gc.back_inlet.split]\n"
                                                "zone_on = true\n");
        write("offset.toml", offset);
        symlink("/dev/zero", (home.path() + "/zero.toml").c_str());
        mkfifo((home.path() + "/fifo.toml").c_str(), 0600);
        mkdir((home.path() + "/folder.toml").c_str(), 0700);
        truncate(write("huge.toml", "# 2 MiB\n").c_str(), 2 << 20);
        write("file", "not a folder\n");
    }
    std::string fill(std::string text) const
    {
        for (const auto& [key, value] :
             {std::pair<std::string, std::string>{"{home}", home.path()}, {"{method}", method}})
            for (std::size_t at; (at = text.find(key)) != std::string::npos;)
                text.replace(at, key.size(), value);
        return text;
    }

    std::string method;
};

TEST_P(HostFaultsTest, EndsWithItsExitCodeAndMessageInBoundedTime)
{
    const FaultCase& c = GetParam();
    SimulatorProgram external;
    if (c.external) {
        std::istringstream words(c.simulator);
        ASSERT_TRUE(external.start({std::istream_iterator<std::string>(words), {}}));
    }
    int held = -1;
    if (c.holdDevice) {
        held = open(external.devicePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
    }
    std::ofstream(home.path() + "/registry.ini")
        << "[Inlets\\Hubrel\\Varnock\\Communications]\nDefaultSettings=FALSE\n"
        << "[Inlets\\Hubrel\\Varnock]\n"
        << c.settings << "\n[Inlets\\Hubrel\\System Timings]\nStatus Frequency=200\n";

    // The row's own --home or --port stands instead of the test's.
    std::vector<std::string> arguments;
    for (const char* option : {"--home", "--port"}) {
        if (std::find(c.command.begin(), c.command.end(), option) == c.command.end())
            arguments.insert(arguments.end(), {option, option[2] == 'h' ? home.path()
                                                       : c.external     ? external.devicePath()
                                                                        : "sim"});
    }
    for (const std::string& word : c.command)
        arguments.push_back(fill(word));
    const std::string options = "GC6890_SIM_OPTIONS=--speed 120 " + (c.external ? "" : c.simulator);
    const std::string link = home.path() + "/sim-link";
    const ProgramResult result = runProgram(arguments, {options + " --link " + link}, 60, c.signal);
    if (held >= 0)
        close(held);

    EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
    EXPECT_LE(result.elapsedMs - std::max(result.signalledMs, 0), c.withinMs);
    // A failure is told in the last line of standard error, and only there.
    const std::string says = fill(c.says);
    const std::size_t lastLine = result.err.rfind('\n', result.err.size() - 2) + 1;
    if (c.exitCode > 0) {
        EXPECT_EQ(result.err.find("gc6890: "), lastLine) << result.err;
        EXPECT_NE(result.err.find(says, lastLine), std::string::npos) << result.err;
        EXPECT_EQ(result.out.find("finished"), std::string::npos) << "no success claimed";
    } else
        EXPECT_NE(result.err.find(says), std::string::npos) << result.err;
    // The built-in simulator removes its link when it ends: it ended with the program.
    EXPECT_FALSE(std::filesystem::is_symlink(std::filesystem::symlink_status(link)))
        << "the simulator outlived the program";
}

// A port setting refused before the port is opened.
FaultCase badSetting(const char* name, const std::string& setting, const std::string& says,
                     const char* command = "status")
{
    return {.name = name,
            .command = {command},
            .settings = setting,
            .exitCode = 2,
            .says = setting + " " + says};
}

// A case told by its command, exit code and message, on the built-in simulator with these
// options.
FaultCase ends(const char* name, std::vector<std::string> command, int exitCode, std::string says,
               std::string simulator = {})
{
    return {.name = name,
            .command = std::move(command),
            .simulator = std::move(simulator),
            .exitCode = exitCode,
            .says = std::move(says)};
}

const FaultCase kCases[] = {
    // A run whose instrument goes away is never reported finished.
    ends("RunLosesTheLineAfterItStarted", {"run", "{method}", "--vial", "1"}, 3,
         "run: lost the instrument after", "--hang-up-after 1 --hang-up-delay 600000"),
    ends("RunLosesTheLineDuringTheInjectionWait", {"run", "{method}", "--vial", "1"}, 3,
         "run: lost the instrument",
         "--injection late --lost-injection --hang-up-after 1 --hang-up-delay 360000"),
    ends("WatchEndsOnAHangUp", {"status", "--watch"}, 3,
         "status --watch: no communication with the GC on sim: sim hung up", "--hang-up-after 40"),
    // A silent line: the failed poll's time-out, then at most one more for the rebuild.
    {.name = "WatchEndsOnASilentLineWithinTwoTimeOuts",
     .command = {"status", "--watch"},
     .simulator = "--silent-after 40",
     .settings = "Timeout=3000",
     .exitCode = 3,
     .says = "no answer came",
     .withinMs = 8500,
     .external = true},
    {.name = "GCSilentAtStartUp",
     .command = {"gc-on"},
     .simulator = "--no-reply *",
     .settings = "Timeout=500",
     .exitCode = 3,
     .says = "no communication with the GC on sim: no answer came on sim within 500 ms"},
    // Wrong answers are the instrument's, not the line's.
    ends("SamplerReplyFromAnotherAddress", {"status"}, 1,
         "the instrument answered wrongly: \"HT02STATUS", "--other-address 01HTSTATUS"),
    ends("GarbledGCReply", {"status"}, 1, "does not answer GCHTRI", "--garble GCHTRI"),
    // Unusable port settings name the setting, its value and what is allowed.
    badSetting("BaudRateNotStandard", "BaudRate=12345", "is not a standard rate (300,"),
    badSetting("BaudRateNegative", "BaudRate=-9600", "is not", "gc-on"),
    badSetting("ParityUnknown", "Parity=Q", "is not N, E or O"),
    badSetting("DataBitsOutOfRange", "DataBits=99", "is not 5, 6, 7 or 8"),
    badSetting("TimeoutZero", "Timeout=0", "is not 1 to 600000 ms"),
    badSetting("EndOfDataCharZero", "EndOfDataChar=0", "is not a character code"),
    // The port's own reason, and what to do about it.
    ends("PortMissing", {"--port", "{home}/ttyNone", "status"}, 3,
         "on {home}/ttyNone: cannot open {home}/ttyNone: No such file or directory; check"),
    ends("PortNotATerminal", {"--port", "{home}/file", "status"}, 3,
         "it is not a serial device; choose a serial device"),
    {.name = "PortHeldByAnotherProgram",
     .command = {"status"},
     .exitCode = 3,
     .says = "it is in use by another program; end the other program",
     .external = true,
     .holdDevice = true},
    // Method files that are not regular files, or too large, are refused unread.
    ends("MethodIsADeviceLink", {"method", "check", "{home}/zero.toml"}, 2,
         "zero.toml: is a character device, not a method file"),
    ends("MethodIsAFifo", {"load", "{home}/fifo.toml"}, 2,
         "fifo.toml: is a pipe (FIFO), not a method file"),
    ends("MethodIsAFolder", {"run", "{home}/folder.toml", "--vial", "1"}, 2,
         "folder.toml: is a directory, not a method file"),
    ends("MethodTooLarge", {"method", "check", "{home}/huge.toml"}, 2,
         "huge.toml: is 2097152 bytes, more than a method file's limit of 1048576"),
    // A comms log that cannot be written is said once, at the start.
    ends("CommsLogFolderIsAFile", {"--home", "{home}/file", "gc-on"}, 0,
         "Cannot make the folder {home}/file/c/dravik for c:\\dravik\\hp6890.err: Not a directory"),
    // A run brings the method's sampler part (the back-vial offset) before it injects.
    ends("RunLoadsTheSamplerPartOfItsMethod",
         {"run", "{home}/offset.toml", "--vial", "51", "--no-wait"}, 1,
         "run: the sampler did not start the injection from vial 51"),
    // A signal ends a silent wait at once, releasing the port, with the shell's code.
    {.name = "SigintDuringASilentRead",
     .command = {"status", "--watch"},
     .simulator = "--silent-after 40",
     .settings = "Timeout=20000",
     .exitCode = 130,
     .says = "gc6890: interrupted by SIGINT: status --watch",
     .signal = {SIGINT, 2500},
     .withinMs = 500,
     .external = true},
    {.name = "SigtermDuringADownloadKeepsTheOldMethod",
     .command = {"load", "{method}"},
     .simulator = "--late CCHTMD --late-ms 1200000",
     .exitCode = 143,
     .says = "interrupted by SIGTERM: the GC keeps its old method",
     .signal = {SIGTERM, 500, "Reading method from GC"},
     .withinMs = 500},
    // However the program ends, the built-in simulator ends with it.
    {.name = "SimulatorEndsWithAKilledProgram",
     .command = {"status", "--watch"},
     .exitCode = -1,
     .signal = {SIGKILL, 1500},
     .withinMs = 1500},
};

void PrintTo(const FaultCase& c, std::ostream* out)
{
    *out << c.name;
}

INSTANTIATE_TEST_SUITE_P(Cases, HostFaultsTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace gc6890::hosttest
