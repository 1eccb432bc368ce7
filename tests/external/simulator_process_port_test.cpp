// Starting the simulator program for the "sim" device: failures are reported, never hang.
#include <gtest/gtest.h>

#include <string>

#include "external/simulator_process_port.h"
#include "support/scoped_env.h"

namespace gc6890 {
namespace {

using test::ScopedEnv;

TEST(SimulatorProcessPortTest, AProgramThatCannotRunOrReportsNoDeviceIsRefused)
{
    struct Case {
        const char* program;
        const char* says;  // how the error begins
    } const cases[] = {
        {"/nonexistent/gc6890-sim", "cannot start the simulator /nonexistent/gc6890-sim:"},
        {"/bin/true", "cannot start the simulator /bin/true: the simulator exited before"},
        // A "simulator" that reports a path (the working folder) that is not a terminal.
        {"/bin/pwd", "cannot open /"},
    };
    for (const Case& c : cases) {
        ScopedEnv program("GC6890_SIM_BIN", c.program);
        SimulatorProcessPort port{PortSettings{}};
        std::string error;
        EXPECT_FALSE(port.open(error));
        EXPECT_EQ(error.rfind(c.says, 0), 0u) << error;
        EXPECT_FALSE(port.isOpen());
        EXPECT_EQ(port.processId(), -1);  // nothing left running
    }
}

}  // namespace
}  // namespace gc6890
