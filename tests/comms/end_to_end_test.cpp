// The shared channel end to end: the GC and sampler sides started against the gc6890-sim
// program on a pseudo-terminal, status lines exchanged, the line pulled, the failure
// reported to the registry and the channel rebuilt on a simulator that is back.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

#include "comms/channel_user_window.h"
#include "external/inlet_utils.h"
#include "external/simulator_process_port.h"
#include "support/temp_home.h"

namespace gc6890::test {
namespace {

using Side = ChannelUserWindow::Side;
using Answer = ChannelUserWindow::Answer;

// Every wait of these tests is bounded by it: a failed exchange gives up after it.
constexpr int kTimeoutMs = 2000;

class EndToEndTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!std::getenv("GC6890_SIM_BIN"))
            GTEST_SKIP() << "GC6890_SIM_BIN is not set (ctest sets it to the built gc6890-sim)";
        // The device "sim" (the default), with a short time-out kept by a configured port.
        WriteRegistryPath("Inlets\\Hubrel\\Varnock\\Communications\\DefaultSettings",
                          CString("FALSE"), HKEY_LOCAL_MACHINE);
        WriteRegistryPath("Inlets\\Hubrel\\Varnock\\Timeout", kTimeoutMs, HKEY_LOCAL_MACHINE);
        m_previousFactory = SetSerialBackendFactory([this](const PortSettings& settings) {
            auto port = std::make_shared<SimulatorProcessPort>(settings);
            m_ports.push_back(port);
            return port;
        });
        m_previousBoxHandler =
            SetMessageBoxHandler([this](HWND, const char* text, const char*, UINT) {
                m_boxes.push_back(text);
                return IDOK;
            });
    }
    void TearDown() override
    {
        gc.reset();
        sampler.reset();
        SetSerialBackendFactory(m_previousFactory);
        SetMessageBoxHandler(m_previousBoxHandler);
        EXPECT_TRUE(m_boxes.empty()) << m_boxes.front();
    }

    // Both windows take the channel and start their sides, as the GC and sampler objects do.
    void startBothSides()
    {
        ASSERT_NE(gc->Get(), nullptr);
        ASSERT_EQ(sampler->Get(), gc->m_pChannel);
        ASSERT_EQ(gc->Start(), 1);
        ASSERT_EQ(sampler->Start(), 1);
        ASSERT_EQ(CHP6890SerialComms::m_sCommsStatus, 3);
    }

    // A run-state query to the GC and a status query to the sampler, each on its window's
    // channel, both answered.
    void expectStatusExchanges()
    {
        CIntFloatArray runState(9);
        ASSERT_NE(gc->m_pChannel, nullptr);
        EXPECT_EQ(gc->m_pChannel->SendAndReceiveToGC(CString("GCHTRI"), runState), 1);
        EXPECT_EQ(runState.GetInt(0), 0);  // idle
        CIntFloatArray samplerStatus(7);
        ASSERT_NE(sampler->m_pChannel, nullptr);
        EXPECT_EQ(sampler->m_pChannel->SendAndReceiveToALS(CString("01HTSTATUS"), samplerStatus),
                  1);
        EXPECT_EQ(samplerStatus.GetInt(6), 0);  // ready
    }

    // The process behind the newest port, or -1.
    pid_t simulatorProcess() const
    {
        auto port = m_ports.empty() ? nullptr : m_ports.back().lock();
        return port ? port->processId() : -1;
    }

    // Waits (at most five seconds) until the process has exited, leaving it to be reaped
    // by its port.
    static bool waitForExit(pid_t process)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < deadline) {
            siginfo_t info{};
            if (waitid(P_PID, static_cast<id_t>(process), &info, WEXITED | WNOHANG | WNOWAIT) ==
                    0 &&
                info.si_pid == process)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    TempHome home;
    std::unique_ptr<ChannelUserWindow> gc =
        std::make_unique<ChannelUserWindow>(Side::GC, Answer::RefuseWhileBusy);
    std::unique_ptr<ChannelUserWindow> sampler = std::make_unique<ChannelUserWindow>(Side::Sampler);
    std::vector<std::weak_ptr<SimulatorProcessPort>> m_ports;

private:
    SerialBackendFactory m_previousFactory;
    MessageBoxHandler m_previousBoxHandler;
    std::vector<std::string> m_boxes;
};

TEST_F(EndToEndTest, APulledLineIsReportedAndTheChannelRebuiltOnTheNextSimulator)
{
    startBothSides();
    EXPECT_EQ(gc->m_pChannel->GetFirmwareVersion().GetLength(), 11);
    expectStatusExchanges();

    // Pull the line: the simulator ends, and the GC's next exchange fails at once.
    const pid_t first = simulatorProcess();
    ASSERT_GT(first, 0);
    ASSERT_EQ(kill(first, SIGTERM), 0);
    ASSERT_TRUE(waitForExit(first));
    CIntFloatArray runState(9);
    EXPECT_EQ(gc->m_pChannel->SendAndReceiveToGC(CString("GCHTRI"), runState), 0);
    EXPECT_EQ(CHP6890SerialComms::Busy(), 0);
    NotifySerialCommsError();  // what the GC object does with a failed exchange

    EXPECT_EQ(gc->m_nFailures, 1);
    EXPECT_EQ(sampler->m_nFailures, 1);
    // Each window holds the new channel with its side started again.
    ASSERT_EQ(gc->m_restores.size(), 1u);
    ASSERT_EQ(sampler->m_restores.size(), 1u);
    EXPECT_EQ(gc->m_pChannel, gc->m_restores[0].channel);
    EXPECT_EQ(sampler->m_pChannel, gc->m_pChannel);
    EXPECT_NE(IsValidCommsObject(gc->m_pChannel), 0);
    EXPECT_FALSE(gc->m_bRestartFailed || sampler->m_bRestartFailed);
    EXPECT_EQ(CHP6890SerialComms::m_sCommsStatus, 3);
    ASSERT_EQ(m_ports.size(), 2u);  // the rebuilt channel started a simulator of its own
    EXPECT_NE(simulatorProcess(), first);
    expectStatusExchanges();

    const std::string log = home.read("c/dravik/hp6890.err");
    EXPECT_NE(log.find("cannot write to sim\n"), std::string::npos)
        << log;  // the line was found gone
}

}  // namespace
}  // namespace gc6890::test
