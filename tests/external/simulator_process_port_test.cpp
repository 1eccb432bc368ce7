// Starting the simulator program for the "sim" device: failures are reported, never hang.
#include <gtest/gtest.h>

#include <string>

#include "external/simulator_process_port.h"
#include "support/scoped_env.h"

namespace gc6890 {
namespace {

using test::ScopedEnv;

TEST(SimulatorProcessPortTest, AProgramThatCannotRunIsReported)
{
    struct Case {
        const char* program;
        const char* says;
    };
    const Case cases[] = {
        {"/nonexistent/gc6890-sim", "exited before reporting its device"},
        {"/bin/true", "exited before reporting its device"},
    };
    for (const Case& c : cases) {
        ScopedEnv program("GC6890_SIM_BIN", c.program);
        SimulatorProcessPort port{PortSettings{}};
        std::string error;
        EXPECT_FALSE(port.open(error));
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
        EXPECT_NE(error.find(c.program), std::string::npos) << error;
        EXPECT_FALSE(port.isOpen());
        EXPECT_EQ(port.processId(), -1);  // nothing left running
    }
}

TEST(SimulatorProcessPortTest, APathThatIsNoDeviceIsRefused)
{
    // A "simulator" that reports a path (the working folder) that is not a terminal.
    ScopedEnv program("GC6890_SIM_BIN", "/bin/pwd");
    SimulatorProcessPort port{PortSettings{}};
    std::string error;
    EXPECT_FALSE(port.open(error));
    EXPECT_EQ(error.rfind("cannot open /", 0), 0u) << error;
    EXPECT_EQ(port.processId(), -1);
}

}  // namespace
}  // namespace gc6890
