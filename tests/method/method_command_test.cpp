// The method block, the workfile identity and the command builders, to the byte.
#include <gtest/gtest.h>

#include <cmath>

#include "method/download_fixture.h"

namespace {

using gc6890::test::FixedWallClock;

TEST(MethodCommand, IdentityAloneGivesThreeLinesWithTheClosingLineOnItsOwn)
{
    CMethodCommand method;
    CWorkfileIdentity identity("SIM6890", "DEFAULT", 120000, 10126);
    EXPECT_EQ(method.AddWorkfileComponent(identity), 1);
    EXPECT_EQ(method.GetString(),
              "CCHTMD B;\"\"\n"
              "CCHTMD C;\"CCCCIW HP,6890,GC,SIM6890,DEFAULT,120000,010126;CCCCCE 0;\"\n"
              "\nCCHTMD E;\"NONE\"");
}

TEST(MethodCommand, EmptyTextsAreRefusedAndTheQuoteClosesTheMethodPart)
{
    CMethodCommand method;
    EXPECT_EQ(method.AddWorkfileComponent(CString()), 0);
    EXPECT_EQ(method.AddComponent(CString()), 0);
    EXPECT_EQ(method.GetString(), "CCHTMD B;\"\"\nCCCCCE 0;\"\n\nCCHTMD E;\"NONE\"");

    CMethodStringOvenThermalZone zone(1);
    method.AddComponent(zone);
    EXPECT_EQ(method.AddComponent("\""), 1);
    EXPECT_EQ(method.GetString(),
              "CCHTMD B;\"\"\nCCCCCE 0;\"\nCCHTMD C;\"OVOVTZ 1;\";\nCCHTMD E;\"NONE\"");
}

TEST(WorkfileIdentity, OnlyAZeroValueComesFromTheClockWithLeadingZeros)
{
    FixedWallClock clock(gc6890::test::kFirstFebruary2011);
    // Both zero is the download's identity (method_download_test.cpp).
    CWorkfileIdentity dateOnly("A", "B", 123456, 0);
    EXPECT_EQ(dateOnly.GetString(), "CCCCIW HP,6890,GC,A,B,123456,010211");
    const int readsBefore = clock.reads;
    CWorkfileIdentity stamped("A", "B", 123456, 311299);
    EXPECT_EQ(clock.reads, readsBefore) << "both values given: the clock is not read";
    EXPECT_EQ(stamped.GetString(), "CCCCIW HP,6890,GC,A,B,123456,311299");
}

TEST(MethodBuilders, OvenProgramEndsAtTheFirstRampWithoutRate)
{
    const CRamp r1{10.0f, 250.7f, 5.0f}, stop{0.0f, 300.0f, 1.0f}, r3{10.0f, 300.0f, 2.0f};
    CMethodStringOvenTempRamp program(50, 2.0f, &r1, &stop, &r3, &r3, nullptr, &r3);
    EXPECT_EQ(program.GetString(),
              "OVOVTR 50,2.00,10.00,250,5.00,0.00,0,0.00,0.00,0,0.00,0.00,0,0.00,0.00,0,0.00,"
              "0.00,0,0.00");
    CMethodStringOvenTempRamp missing(40, 0.0f, &r1, nullptr, &r3, nullptr, nullptr, nullptr);
    EXPECT_EQ(missing.GetArgumentCount(), 20);
    EXPECT_EQ(missing.GetString().Find("10.00,300,2.00"), -1);
}

TEST(MethodBuilders, ColumnPneumaticsScaleByModeFlag)
{
    const CRamp r1{0.5f, 20.0f, 5.0f};
    CMethodStringColumnPneumatics pressure(1, 1, 1, 2, 0, 1.5f, 1.0f, &r1, nullptr, nullptr, 15.0f);
    EXPECT_EQ(pressure.GetString(),
              "C1C1NR 1,1,2,0.00,15000,1.00,5000,200000,5.00,0.00,0,0.00,0.00,0,0.00,150000");
    CMethodStringColumnPneumatics flow(2, 1, 1, 3, 1, 1.5f, 0.0f, nullptr, &r1, nullptr, 0.0f);
    EXPECT_EQ(flow.GetString(),
              "C2C2NR 1,1,3,1.00,1500,0.00,0.00,0,0.00,0.00,0,0.00,0.00,0,0.00,0");
}

TEST(MethodBuilders, TruncationHoldsWildValuesInRange)
{
    EXPECT_EQ(gc6890::truncToInt(-2.9), -2);
    EXPECT_EQ(gc6890::truncToInt(1e20), 2147483647);
    EXPECT_EQ(gc6890::truncToInt(-1e20), -2147483647 - 1);
    EXPECT_EQ(gc6890::truncToInt(std::nan("")), 0);
}

}  // namespace
