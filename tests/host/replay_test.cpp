// Sessions replayed from captures (tests/README.md: a user's bundle becomes a row here):
// gc6890-sim --replay answers as the instrument did, and the host program shows byte for
// byte what it showed then: the status, the GC's method read back, a download's refusal.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "program_run.h"
#include "support/simulator_program.h"
#include "support/source_tree.h"

namespace gc6890::hosttest {
namespace {

using gc6890::test::SimulatorProgram;
using gc6890::test::sourcePath;

std::string fileText(const std::filesystem::path& path)
{
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string replaced(std::string text, const std::string& what, const std::string& with)
{
    if (const std::size_t at = text.find(what); at != std::string::npos)
        text.replace(at, what.size(), with);
    return text;
}

// One captured session: the folder under tests/data/replay/ holding capture.jsonl and what
// the program showed, and the method file its download used.
struct ReplayedSession {
    const char* folder;
    const char* method;
};

class ReplayTest : public HomeTest, public ::testing::WithParamInterface<ReplayedSession> {};

TEST_P(ReplayTest, ShowsWhatTheCapturedSessionShowed)
{
    const std::filesystem::path data = sourcePath("tests/data/replay") / GetParam().folder;
    const std::string method = sourcePath(GetParam().method).string();
    SimulatorProgram simulator;
    ASSERT_TRUE(simulator.start({"--replay", (data / "capture.jsonl").string()}));
    write("registry.ini", "[Inlets\\Hubrel\\Varnock\\Communications]\nDefaultSettings=FALSE\n"
                          "[Inlets\\Hubrel\\Varnock]\nTimeout=10000\n");
    const std::string port = simulator.devicePath();

    const ProgramResult status = run({"--port", port, "status"});
    EXPECT_EQ(status.out, fileText(data / "status.txt")) << status.err;

    const ProgramResult doctor = run({"--port", port, "doctor"});
    const std::size_t methodAt = doctor.out.find("The GC's current method");
    ASSERT_NE(methodAt, std::string::npos) << doctor.out;
    EXPECT_EQ(doctor.out.substr(methodAt, doctor.out.find("Capture: ") - methodAt),
              fileText(data / "method.txt"));

    const ProgramResult load = run({"--port", port, "--yes", "load", method});
    EXPECT_EQ(load.exitCode, 1);
    ASSERT_NE(load.err.rfind("gc6890: "), std::string::npos) << load.err;
    const std::string refusal = load.err.substr(load.err.rfind("gc6890: "));
    EXPECT_EQ(replaced(refusal.substr(0, refusal.find(" (comms log: ")), method, "{method}") + "\n",
              fileText(data / "load.txt"));
}

INSTANTIATE_TEST_SUITE_P(Captures, ReplayTest,
                         ::testing::Values(
                             // gc6890-sim --baud 1200 --no-back-inlet --not-ready-bits 4
                             // --unsolicited CCHTEO --late GCHTST
                             // --late-ms 300 --check-code 13
                             ReplayedSession{"sim_1200_faults", "methods/split_front.toml"}),
                         [](const auto& info) { return std::string(info.param.folder); });

}  // namespace
}  // namespace gc6890::hosttest
