#include <gtest/gtest.h>

#include "sim/line_format.h"
#include "sim_test_support.h"

namespace gc6890::sim {
namespace {

using simtest::ask;
using simtest::opened;
using simtest::readLine;

std::vector<std::string> valuesOf(const std::string& reply)
{
    return split(reply.substr(reply.find(' ') + 1), ',');
}

TEST(LineFormat, SplitsHeadPairsAndArguments)
{
    const Line line = parseLine("01HTSINJECT 50;100");
    EXPECT_EQ(line.receiver, "01");
    EXPECT_EQ(line.sender, "HT");
    EXPECT_EQ(line.operation, "SINJECT");
    EXPECT_EQ(replyHead(line), "HT01SINJECT");
    EXPECT_EQ(parseLine("CCHTID").argText, "");
    EXPECT_EQ(parseLine("GCHTRT 0.00,7,1").args(), (std::vector<std::string>{"0.00", "7", "1"}));
}

TEST(LineFormat, NumbersIgnoreTheLocaleAndKeepTwoDecimals)
{
    EXPECT_EQ(formatFixed(12.5, 2), "12.50");
    EXPECT_DOUBLE_EQ(numberOr(" 2.25", 0.0), 2.25);
    EXPECT_EQ(intOr("abc", -1), -1);
}

TEST(GcExchanges, EchoesEveryStartUpAddressWithSwappedPairs)
{
    InProcessLine line;
    opened(line);
    for (const char* address : {"CC", "GC", "S1", "S2", "SS", "OV", "DF", "IF", "C1", "A1",
                                "V1", "DT", "AS"}) {
        const std::string a(address);
        EXPECT_EQ(ask(line, a + "HTEO \"1234\""), "HT" + a + "EO \"1234\"") << a;
    }
    EXPECT_EQ(ask(line, "ZZHTEO \"1234\""), "");  // nobody at that address
}

TEST(GcExchanges, IdentityNamesTheProductAndFirmwareAtFixedColumns)
{
    SimConfig config;
    config.gc.firmware = "N.05 REV N";
    InProcessLine line(config);
    const std::string reply = ask(opened(line), "CCHTID");
    ASSERT_GE(reply.size(), 30u);
    EXPECT_EQ(reply.substr(0, 6), "HTCCID");
    EXPECT_EQ(reply.substr(7, 10), "HP 6890 GC");
    EXPECT_EQ(reply.substr(19, 11), "N.05 REV N ");
}

TEST(GcExchanges, PassThroughPortOpensAndCloses)
{
    InProcessLine line;
    opened(line);
    EXPECT_EQ(ask(line, "CCHTPO 1"), "HTCCPO 0");
    EXPECT_TRUE(line.instrument().gc().portOpen(1));
    EXPECT_EQ(ask(line, "CCHTPC 1"), "HTCCPC 0");
    EXPECT_FALSE(line.instrument().gc().portOpen(1));
    EXPECT_EQ(ask(line, "CCHTPC F"), "HTCCPC 0");
}

TEST(GcExchanges, StatusRepliesCarryTheNumberOfValuesTheLibraryReads)
{
    InProcessLine line;
    opened(line);
    EXPECT_EQ(valuesOf(ask(line, "GCHTRI")).size(), 9u);
    EXPECT_EQ(valuesOf(ask(line, "GCHTRY")).size(), 6u);
    EXPECT_EQ(valuesOf(ask(line, "GCHTST")).size(), 15u);
    EXPECT_EQ(valuesOf(ask(line, "OVHTST")).size(), 3u);
    EXPECT_EQ(valuesOf(ask(line, "GCHTRR")).size(), 75u);
    EXPECT_EQ(ask(line, "GCHTRI").substr(0, 6), "HTGCRI");
}

TEST(GcExchanges, ReadingsUseTheGcIntegerUnits)
{
    InProcessLine line;
    opened(line);
    EXPECT_EQ(ask(line, "OVHTST"), "HTOVST 50,1,50");
    EXPECT_EQ(ask(line, "C1HTPI ?"), "HTC1PI 100000");  // 10 psi
    const int flow = std::stoi(valuesOf(ask(line, "C1HTFI ?"))[0]);
    EXPECT_GT(flow, 500);
    EXPECT_LT(flow, 1500);
}

TEST(GcExchanges, WriteOnlyCommandsGetNoReply)
{
    InProcessLine line;
    opened(line);
    for (const char* command :
         {"GCHTD1 \" \" ", "GCHTD2 \" Downloading method.\"", "GCHTD3 \"x\"", "GCHTD4 \" \" ",
          "GCHTDL", "V7V7SW 0", "OVHTTZ 1", "IFHTTZ 1", "BFHTTZ 1", "IFHTCF 2,10.00,0.00",
          "IBHTCF 2,10.00,0.00", "C1HTCF 3000,250,25,0,1,0,0,0", "C2HTCF 0,0,0,5,4,0,0,0",
          "V7HTCF 3,0,0,0.00,0", "GCHTRT 0.00,7,1", "OVHTCF 350", "OVHTCR 0,0,0,0.00,0,0"})
        EXPECT_EQ(ask(line, command, 2000), "") << command;
    EXPECT_EQ(ask(line, "GCHTRI").substr(0, 6), "HTGCRI");  // still in step
}

TEST(GcExchanges, DisplayAndContactClosureChangeState)
{
    InProcessLine line;
    opened(line);
    line.write("GCHTD2 \" Downloading method.\"\nV7V7SW 1\n", 100);
    EXPECT_EQ(line.instrument().gc().display()[1], "\" Downloading method.\"");
    EXPECT_EQ(line.instrument().gc().contactClosure(), 1);
    line.write("GCHTDL\n", 100);
    EXPECT_EQ(line.instrument().gc().display()[1], "");
}

TEST(GcExchanges, RunTableKeepsEntriesSetImmediately)
{
    InProcessLine line;
    opened(line);
    line.write("GCHTRT 0.02,7,0\nGCHTRT 0.00,7,1\n", 100);
    const auto values = valuesOf(ask(line, "GCHTRR"));
    EXPECT_EQ(values[0], "0.00");
    EXPECT_EQ(values[1], "7");
    EXPECT_EQ(values[2], "1");
    EXPECT_EQ(values[3], "0.02");
    EXPECT_EQ(values[5], "0");
    EXPECT_EQ(values[7], "0");  // the third entry is empty
}

TEST(GcExchanges, UnknownOperationIsRefusedWithInvalidOperation)
{
    InProcessLine line;
    EXPECT_EQ(ask(opened(line), "GCHTQQ"), "HTGCQQ 7");
}

TEST(GcRun, PassesThroughItsStatesOnTheTestClock)
{
    InProcessLine line;
    opened(line);
    auto& gc = line.instrument().gc();
    EXPECT_EQ(valuesOf(ask(line, "GCHTRI"))[0], "0");
    EXPECT_EQ(ask(line, "GCHTPR"), "HTGCPR 0");
    EXPECT_EQ(valuesOf(ask(line, "GCHTRI"))[0], "1");
    ASSERT_TRUE(gc.startRun(line.clock().nowMs()));
    EXPECT_DOUBLE_EQ(gc.runLengthMinutes(), 27.0);  // 2 min, 20 min ramp, 5 min hold

    line.clock().advance(10 * 60000);
    line.instrument().advance();
    auto values = valuesOf(ask(line, "GCHTRI"));
    EXPECT_EQ(values[0], "2");
    EXPECT_EQ(values[4], "17.00");  // run time remaining
    EXPECT_EQ(values[6], "10.00");  // elapsed
    EXPECT_NEAR(gc.ovenTemperature(), 130.0, 2.0);  // on the ramp: 50 + 10 * 8

    line.clock().advance(18 * 60000);
    line.instrument().advance();
    EXPECT_EQ(valuesOf(ask(line, "GCHTRI"))[0], "3");  // cooling down
    EXPECT_EQ(valuesOf(ask(line, "GCHTST"))[0], "0");

    line.clock().advance(10 * 60000);
    line.instrument().advance();
    EXPECT_EQ(valuesOf(ask(line, "GCHTRI"))[0], "0");
}

TEST(GcRun, StopEndsARunIntoPostRun)
{
    InProcessLine line;
    opened(line);
    line.instrument().gc().startRun(0);
    EXPECT_EQ(ask(line, "GCHTSP"), "HTGCSP 0");
    EXPECT_EQ(valuesOf(ask(line, "GCHTRI"))[0], "3");
}

TEST(GcRun, AutoPrepRunKeepsTheIdleGcInPreRun)
{
    SimConfig config;
    config.gc.autoPrepRun = true;
    InProcessLine line(config);
    const auto values = valuesOf(ask(opened(line), "GCHTRI"));
    EXPECT_EQ(values[0], "1");
    EXPECT_EQ(valuesOf(ask(line, "GCHTRY"))[1], "1");
}

TEST(GcReadiness, ThermalZonesAreNotReadyWhileTheOvenHeats)
{
    SimConfig config;
    config.gc.startCold = true;
    InProcessLine line(config);
    opened(line);
    auto words = valuesOf(ask(line, "GCHTST"));
    EXPECT_NE(std::stoul(words[0]) & (1u << 26), 0u);
    EXPECT_EQ(valuesOf(ask(line, "GCHTRY"))[3], "0");

    line.clock().advance(60000);  // 25 to 50 degrees at 120 degrees/min, then 0.5 min
    line.instrument().advance();
    EXPECT_EQ(valuesOf(ask(line, "GCHTST"))[0], "0");
    EXPECT_EQ(valuesOf(ask(line, "GCHTRY"))[3], "1");
}

TEST(GcReadiness, ZonesSwitchedOffLetTheOvenCool)
{
    InProcessLine line;
    opened(line);
    line.write("OVHTTZ 0\n", 100);
    line.clock().advance(60000);
    line.instrument().advance();
    EXPECT_EQ(ask(line, "OVHTST"), "HTOVST 25,0,25");
    EXPECT_EQ(valuesOf(ask(line, "GCHTRY"))[3], "0");
}

TEST(GcReadiness, ConfiguredShutdownsAndErrorsShowInTheStatusWords)
{
    SimConfig config;
    config.gc.shutdownBits = (1u << 31) | (1u << 15);
    config.gc.nonFatal = {0, 42, 0};
    InProcessLine line(config);
    const auto words = valuesOf(ask(opened(line), "GCHTST"));
    EXPECT_EQ(static_cast<std::uint32_t>(std::stol(words[8])), (1u << 31) | (1u << 15));
    EXPECT_EQ(words[11], "42");
    EXPECT_EQ(valuesOf(ask(line, "GCHTRY"))[0], "0");
}

TEST(GcExchanges, InletAndTowerConfigurationQueries)
{
    SimConfig config;
    config.gc.backInlet = false;
    config.sampler.backTower = false;
    InProcessLine line(config);
    opened(line);
    EXPECT_EQ(ask(line, "IFHTCW ?").substr(0, 9), "HTIFCW 2,");
    EXPECT_EQ(ask(line, "IBHTCW ?").substr(0, 9), "HTIBCW 8,");
    const std::string towers = ask(line, "ASHTCW ?");
    EXPECT_EQ(towers.substr(9, 4), "1,0,");
    EXPECT_NE(ask(line, "GCHTCF ?").find("BACK INLET NONE"), std::string::npos);
}

}  // namespace
}  // namespace gc6890::sim
