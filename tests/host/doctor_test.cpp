// gc6890 doctor as a user runs it: what it prints about the device and the line, its exit
// code, and the capture it leaves. The instrument's faults are diagnosed in process
// (tests/station/line_check_test.cpp); here the device's own problems, which need a real
// device and another user.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "program_run.h"
#include "support/scoped_env.h"
#include "support/simulator_program.h"

namespace gc6890::hosttest {
namespace {

using gc6890::test::ScopedEnv;
using gc6890::test::SimulatorProgram;

class DoctorTest : public HomeTest {
protected:
    void SetUp() override
    {
        write("registry.ini", "[Inlets\\Hubrel\\Varnock\\Communications]\nDefaultSettings=FALSE\n"
                              "[Inlets\\Hubrel\\Varnock]\nTimeout=1000\n");
    }
};

// On the built-in simulator every check passes, the session's capture is left in the home
// folder, and the bundle holds what a developer needs, the token masked.
TEST_F(DoctorTest, PassesOnTheSimulatorAndLeavesItsCaptureAndBundle)
{
    write("registry.ini", home.read("registry.ini") + "Token=s3cr3t-token\n");
    const ProgramResult result =
        run({"doctor", "--port", "sim", "--bundle", home.path() + "/b.tar.gz"});
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_THAT(result.out, holdsAll({"echo DT", "pass-through port", "sampler status",
                                      "HP 6890 GC", "Installed hardware: OVEN LIMIT",
                                      "Capture: " + home.path() + "/capture.jsonl"}));
    EXPECT_EQ(result.out.find("FAILED"), std::string::npos) << result.out;
    EXPECT_NE(home.read("capture.jsonl").find(R"("dir":"received","line":"HTCCID HP 6890 GC)"),
              std::string::npos);
    ASSERT_EQ(std::system(("tar -xzf " + home.path() + "/b.tar.gz -C " + home.path()).c_str()), 0);
    for (const char* part : {"report.txt", "capture.jsonl", "hardware.toml", "versions.txt"})
        EXPECT_TRUE(home.exists(std::string("gc6890-doctor/") + part)) << part;
    EXPECT_EQ(home.read("gc6890-doctor/report.txt") + "Bundle: " + home.path() + "/b.tar.gz\n",
              result.out);
    const std::string settings = home.read("gc6890-doctor/settings.ini");
    EXPECT_NE(settings.find("Token=********"), std::string::npos) << settings;
    EXPECT_EQ(settings.find("s3cr3t"), std::string::npos) << settings;
}

// A device that another program holds, or that this user may not use: the device list says
// which program or what to do, the line does not open, and the exit code is "no
// communication".
TEST_F(DoctorTest, NamesWhatKeepsTheDeviceFromOpening)
{
    SimulatorProgram simulator;
    ASSERT_TRUE(simulator.start({}));
    const std::string device = simulator.devicePath();
    {
        const int held = open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
        const ProgramResult result = run({"doctor", "--port", device});
        close(held);
        EXPECT_EQ(result.exitCode, 3) << result.out << result.err;
        EXPECT_THAT(result.out, holdsAll({device + " (chosen): held by another program; pid " +
                                              std::to_string(getpid()),
                                          "another program holds the device"}));
    }
    {
        // Another user without the device's group: CI runs as root, whom nothing stops.
        chmod(home.path().c_str(), 0777);
        const ScopedEnv program("GC6890_CLI_BIN", "/usr/bin/setpriv");
        const ProgramResult result =
            runProgram({"--reuid=65534", "--regid=65534", "--clear-groups", GC6890_CLI_BIN,
                        "--home", home.path(), "doctor", "--port", device});
        EXPECT_EQ(result.exitCode, 3) << result.out << result.err;
        EXPECT_THAT(result.out, holdsAll({"no permission for this user: join the dialout group",
                                          "sudo usermod -aG dialout"}));
    }
}

}  // namespace
}  // namespace gc6890::hosttest
