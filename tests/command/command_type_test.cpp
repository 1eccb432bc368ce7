#include <gtest/gtest.h>

#include <tuple>

#include "command/command_type.h"

namespace {

// A head text, its two addresses, and the head written back from them.
using HeadCase = std::tuple<const char*, int, int, const char*>;
class HeadParsing : public testing::TestWithParam<HeadCase> {};

TEST_P(HeadParsing, ParsesAddressesAndWritesThemBack)
{
    const auto& [text, source, dest, written] = GetParam();
    const CCommandType head(text);
    EXPECT_EQ(head.Source(), source);
    EXPECT_EQ(head.Dest(), dest);
    EXPECT_EQ(head.GetString(), written);
}

INSTANTIATE_TEST_SUITE_P(AddressTable, HeadParsing,
                         testing::Values(HeadCase{"CCHTID", 0x1000000, 0x4, "CCHTID"},
                                         HeadCase{"A1GCTZ", 0x40000000, 0x80000, "A1GCTZ"},
                                         HeadCase{"  HTID", 0x1, 0x4, "  HTID"},
                                         // Straddling two entries: the position decides.
                                         HeadCase{"T,HTID", 0x8, 0x4, "MVHTID"},
                                         HeadCase{",HHTID", 0x4, 0x4, "HTHTID"},
                                         HeadCase{"01HTSI", 0x0, 0x4, "  HTSI"},
                                         HeadCase{"GCHTS", 0x0, 0x0, "    "},
                                         HeadCase{"GCHTSTX", 0x0, 0x0, "    "}));

TEST(CommandTypeTest, ValuesConvertToLettersOfTheirHighestBit)
{
    EXPECT_EQ(CCommandType(TARG_A1, TARG_HT, "ID").GetString(), "A1HTID");
    EXPECT_EQ(CCommandType(tag_TARG_TYPE(0x50000), tag_TARG_TYPE(0x2), "ID").GetString(), "IF  ID");
    EXPECT_EQ(CCommandType(tag_TARG_TYPE(-4), TARG_NONE, nullptr).GetString(), "    ");
}

// A different source is the command lists' search by head (command_lists_test.cpp).
TEST(CommandTypeTest, HeadsDifferingOnlyInTheirDestinationAreNotEqual)
{
    EXPECT_TRUE(CCommandType("IFIFCW") == CCommandType("IFIFCW"));
    EXPECT_FALSE(CCommandType("IFIFCW") == CCommandType("IFIBCW"));
}

}  // namespace
