#include <gtest/gtest.h>

#include "sim/line_format.h"
#include "sim_test_support.h"

namespace gc6890::sim {
namespace {

using simtest::ask;
using simtest::opened;
using simtest::readLine;

InProcessLine& started(InProcessLine& line)
{
    return opened(line);
}

TEST(Faults, NoReplyLeavesOnlyThatCommandUnanswered)
{
    SimConfig config;
    config.faults.noReply = {"GCHTRY"};
    InProcessLine line(config);
    started(line);
    EXPECT_EQ(ask(line, "GCHTRY", 45000), "");
    EXPECT_EQ(line.clock().nowMs(), 45000);  // the whole time-out passed
    EXPECT_EQ(ask(line, "GCHTRI").substr(0, 6), "HTGCRI");
}

TEST(Faults, GarbledTruncatedAndWrongHeadChangeTheAnswer)
{
    SimConfig config;
    config.faults.garbled = {"GCHTRI"};
    config.faults.truncated = {"GCHTST"};
    config.faults.wrongHead = {"CCHTID"};
    InProcessLine line(config);
    started(line);
    const std::string garbled = ask(line, "GCHTRI");
    EXPECT_NE(garbled.substr(0, 6), "HTGCRI");
    EXPECT_EQ(garbled.find('\n'), std::string::npos);
    const std::string cut = ask(line, "GCHTST");
    EXPECT_EQ(cut.substr(0, 6), "HTGCST");
    EXPECT_LT(split(cut.substr(7), ',').size(), 15u);
    EXPECT_EQ(ask(line, "CCHTID").substr(0, 7), "HTCCXX ");
}

TEST(Faults, UnsolicitedLineGoesBeforeTheAnswer)
{
    SimConfig config;
    config.faults.unsolicited = {"CCHTEO"};
    InProcessLine line(config);
    started(line);
    EXPECT_EQ(ask(line, "CCHTEO \"1234\""), config.faults.unsolicitedLine);
    EXPECT_EQ(readLine(line), "HTCCEO \"1234\"");
}

TEST(Faults, IdentityOfAnotherProduct)
{
    SimConfig config;
    config.gc.product = "HP 5890 GC";
    InProcessLine line(config);
    EXPECT_EQ(ask(started(line), "CCHTID").substr(7, 10), "HP 5890 GC");
}

TEST(Faults, SilentEchoAddressFailsOnlyThatEcho)
{
    SimConfig config;
    config.faults.silentEchoAddresses = {"DT"};
    InProcessLine line(config);
    started(line);
    EXPECT_EQ(ask(line, "DTHTEO \"1234\""), "");
    EXPECT_EQ(ask(line, "V1HTEO \"1234\""), "HTV1EO \"1234\"");
}

TEST(Faults, BusyPortAnswers14UntilClosedOrAlways)
{
    SimConfig config;
    config.faults.busyPort = BusyPort::UntilClosed;
    InProcessLine once(config);
    started(once);
    EXPECT_EQ(ask(once, "CCHTPO 1"), "HTCCPO 14");
    EXPECT_EQ(ask(once, "CCHTPC 0"), "HTCCPC 0");
    EXPECT_EQ(ask(once, "CCHTPO 1"), "HTCCPO 0");

    config.faults.busyPort = BusyPort::Always;
    InProcessLine always(config);
    started(always);
    ask(always, "CCHTPC 1");
    EXPECT_EQ(ask(always, "CCHTPO 1"), "HTCCPO 14");
}

TEST(Faults, CheckAndInstallRefuseWithTheirCodes)
{
    SimConfig config;
    config.faults.checkCode = 26;
    config.faults.installCode = 40;
    InProcessLine line(config);
    started(line);
    EXPECT_EQ(ask(line, "CCHTMC"), "HTCCMC 26,0");
    EXPECT_EQ(ask(line, "CCHTMI"), "HTCCMI 40,0");
}

TEST(Faults, LostInjectionAnswerNeverComesThoughTheRunStarts)
{
    SimConfig config;
    config.sampler.answer = InjectionAnswer::Late;
    config.faults.lostInjectionAnswer = true;
    InProcessLine line(config);
    started(line);
    ask(line, "CCHTPO 1");
    EXPECT_EQ(ask(line, "01HTSINJECT 1", 300000), "");
    EXPECT_NE(line.instrument().gc().runState(), GcModel::RunState::Idle);
}

TEST(Faults, HangUpClosesTheLine)
{
    SimConfig config;
    config.faults.hangUpAfterLines = 1;
    InProcessLine line(config);
    started(line);
    EXPECT_EQ(ask(line, "CCHTID").substr(0, 6), "HTCCID");
    EXPECT_FALSE(line.write("GCHTRI\n", 100));
    char c = 0;
    EXPECT_EQ(line.read(&c, 1, 100).status, SerialPortBackend::ReadStatus::Gone);
}

}  // namespace
}  // namespace gc6890::sim
