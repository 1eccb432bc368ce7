#include <gtest/gtest.h>

#include <algorithm>

#include "sim_test_support.h"

namespace gc6890::sim {
namespace {

using namespace simtest;

void withPortOpen(InProcessLine& line)
{
    ask(opened(line), "CCHTPO 1");
}

TEST(Sampler, ValidatesSetPoints)
{
    SimConfig config;
    config.sampler.backTower = false;
    InProcessLine line(config);
    withPortOpen(line);
    const auto setPoints = [&](const char* points) {
        return ask(line, "01HTSETPTS " + std::string(points));
    };
    EXPECT_EQ(setPoints("2,1,1,2,0,0,3,50,50,0,0,1,1;,,,,,,,,,,,,; 0, 0"), "HT01SETPTS 0");
    // No such volume step, no back tower, too few set points.
    EXPECT_EQ(setPoints("25,1,1,2,0,0,3,50,50,0,0,1,1;,,,,,,,,,,,,; 0, 0"), "HT01SETPTS 2");
    EXPECT_EQ(setPoints(",,,,,,,,,,,,;2,1,1,2,0,0,3,50,50,0,0,1,1; 0, 0"), "HT01SETPTS 5");
    EXPECT_EQ(setPoints("2,1,1"), "HT01SETPTS 1");
}

TEST(Sampler, AnswersThroughAnOpenPortAndAnImmediateInjectionStartsTheRunWhenItHappens)
{
    InProcessLine line;
    EXPECT_EQ(ask(opened(line), "01HTSTATUS"), "HT01STATUS 51");
    ask(line, "CCHTPO 1");
    EXPECT_EQ(ask(line, "01HTSTATUS"), "HT01STATUS 1,1,1,0,0,0,0");
    EXPECT_EQ(ask(line, "01HTSINJECT 7"), "HT01SINJECT 0");
    EXPECT_EQ(ask(line, "01HTSTATUS"), "HT01STATUS 1,1,1,7,0,0,1");  // preparing
    line.clock().advance(8000);
    line.instrument().advance();
    EXPECT_EQ(ask(line, "01HTSTATUS"), "HT01STATUS 1,1,1,7,1,0,2");  // injecting
    EXPECT_EQ(line.instrument().gc().runState(), GcModel::RunState::Run);
    EXPECT_EQ(ask(line, "01HTSINJECT 8"), "HT01SINJECT 4");  // busy
}

TEST(Sampler, RefusesVialsOutsideTheTrayOrMissing)
{
    SimConfig config;
    config.sampler.missingVials = {12};
    InProcessLine line(config);
    withPortOpen(line);
    EXPECT_EQ(ask(line, "01HTSINJECT 101"), "HT01SINJECT 2");
    EXPECT_EQ(ask(line, "01HTSINJECT ;12"), "HT01SINJECT 3");
    EXPECT_EQ(ask(line, "01HTSINJECT 50;100"), "HT01SINJECT 0");
}

TEST(Sampler, StopIsAnsweredAfterItSettlesUnlessAReturnAllComesFirst)
{
    InProcessLine line;
    withPortOpen(line);
    EXPECT_EQ(ask(line, "01HTSTOP", 100), "");
    EXPECT_EQ(readLine(line, 1000), "HT01STOP 0");
    EXPECT_EQ(ask(line, "01HTRTN_ALL"), "HT01RTN_ALL 0");
    line.write("01HTSTOP\n01HTRTN_ALL\n", 100);
    EXPECT_EQ(readLine(line, 5000), "HT01RTN_ALL 0");
    EXPECT_EQ(readLine(line, 5000), "") << "the return-all takes the stop's answer's place";
}

TEST(Sampler, LateAnswerReportsAMissingVialOrAStopWithoutARun)
{
    SimConfig config;
    config.sampler.answer = InjectionAnswer::Late;
    config.sampler.missingVials = {3};
    InProcessLine line(config);
    withPortOpen(line);
    EXPECT_EQ(ask(line, "01HTSINJECT 3", 45000), "HT01SINJECT 3");
    EXPECT_EQ(line.instrument().gc().runState(), GcModel::RunState::Idle);
    line.write("01HTSINJECT 4\n01HTSTOP\n", 100);
    EXPECT_EQ(readLine(line, 5000), "HT01SINJECT 8");  // the injection aborted
    EXPECT_EQ(readLine(line, 20000), "");              // and it never happens
    EXPECT_EQ(line.instrument().gc().runState(), GcModel::RunState::Idle);
}

// The first command with this head; empty when there is none.
std::string commandOf(const std::vector<std::string>& commands, const std::string& head)
{
    const auto found = std::ranges::find_if(commands, [&](auto& c) { return c.starts_with(head); });
    return found == commands.end() ? "" : *found;
}

TEST(StoredMethod, ImmediateConfigurationShowsInTheNextReadBack)
{
    InProcessLine line;
    opened(line);
    line.write("OVHTCF 300\nC2HTCF 0,0,0,5,4,0,0,0\nIFHTCF 1,12.00,0.00\n", 100);
    const auto commands = commandsOf(readBack(line));
    EXPECT_EQ(commandOf(commands, "OVOVCW"), "OVOVCW 1,3,0,300");
    EXPECT_EQ(commandOf(commands, "C2C2CW"), "C2C2CW 0,0,0,5,4,0,0,0");
    EXPECT_EQ(commandOf(commands, "IFIFCW"), "IFIFCW 2,1,1,0,1,12.00,0.00");
    EXPECT_EQ(ask(line, "C2HTPI ?"), "HTC2PI 0");  // column 2 is gone
}

}  // namespace
}  // namespace gc6890::sim
