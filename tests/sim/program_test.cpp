// The gc6890-sim program on a real pseudo-terminal: it serves lines on its device, links
// the device where it is asked to, and removes the link when it is told to stop.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

#include "external/line_reader.h"
#include "external/simulator_process_port.h"
#include "support/scoped_env.h"

namespace gc6890 {
namespace {

std::string ask(SerialPortBackend& port, LineReader& reader, const std::string& command)
{
    std::string text;
    EXPECT_TRUE(port.write(command + "\n", 1000));
    EXPECT_EQ(reader.readLine(port, 10000, text), LineReader::Status::Line) << command;
    return text;
}

TEST(SimProgram, ServesLinesOnItsDeviceLinkedAsAskedAndRemovesTheLinkOnSigterm)
{
    namespace fs = std::filesystem;
    const std::string link = ::testing::TempDir() + "gc6890-sim-link-" + std::to_string(::getpid());
    test::ScopedEnv options("GC6890_SIM_OPTIONS", "--link " + link + " --speed 60");
    SimulatorProcessPort simulator{PortSettings{}};
    std::string error;
    ASSERT_TRUE(simulator.open(error)) << error;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_TRUE(fs::is_character_file(link)) << "the link leads to the pseudo-terminal";
    LineReader reader;
    EXPECT_EQ(ask(simulator, reader, "CCHTEO \"1234\""), "HTCCEO \"1234\"");
    EXPECT_EQ(ask(simulator, reader, "CCHTID").substr(0, 17), "HTCCID HP 6890 GC");
    EXPECT_EQ(ask(simulator, reader, "GCHTRI").substr(0, 8), "HTGCRI 0");
    simulator.close();  // SIGTERM
    EXPECT_FALSE(fs::exists(fs::symlink_status(link))) << "the link is left behind";
}

}  // namespace
}  // namespace gc6890
