// Who holds the port: a holder killed outright leaves neither the port nor the port's mutex
// taken. (A second program refused at once, naming the reason, is the host program's fault
// case PortHeldByAnotherProgram; a descriptor left behind by an open and close is the idle
// hang-up case's to find.)
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "comms/hp6890_serial_comms.h"
#include "external/inlet_utils.h"
#include "support/child_process.h"
#include "support/instrument_settings.h"
#include "support/simulator_program.h"
#include "support/temp_home.h"

namespace gc6890::test {
namespace {

class PortOwnershipTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sim.start({})) << "gc6890-sim did not start (GC6890_SIM_BIN)";
        usePort(sim.devicePath(), 1000);
    }

    TempHome home;
    SimulatorProgram sim;
};

TEST_F(PortOwnershipTest, AHolderKilledOutrightReleasesThePortAndTheMutex)
{
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t holder = inChild([&] {
        CHP6890SerialComms channel;
        CMutex portMutex(FALSE, portMutexName(sim.devicePath()).c_str());
        if (!channel.OpenSerialPort() || !portMutex.Lock(1000))
            return 1;
        if (write(ready[1], "h", 1) != 1)
            return 1;
        pause();  // until killed
        return 0;
    });
    close(ready[1]);
    ASSERT_TRUE(awaitByte(ready[0])) << "the holder did not take the port";
    close(ready[0]);

    CHP6890SerialComms blocked;
    EXPECT_EQ(blocked.OpenSerialPort(), 0) << "the holder's port was not exclusive";
    CMutex portMutex(FALSE, portMutexName(sim.devicePath()).c_str());
    EXPECT_FALSE(portMutex.Lock(0));

    ASSERT_EQ(kill(holder, SIGKILL), 0);
    EXPECT_TRUE(WIFSIGNALED(waitForChild(holder)));

    EXPECT_TRUE(portMutex.Lock(0));
    portMutex.Unlock();
    CHP6890SerialComms next;
    ASSERT_EQ(next.StartGCComms(), 1);
    CIntFloatArray values(9);
    EXPECT_EQ(next.SendAndReceiveToGC(CString("GCHTRI"), values), 1);
}

}  // namespace
}  // namespace gc6890::test
