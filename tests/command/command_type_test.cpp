#include <gtest/gtest.h>

#include "command/command_type.h"

namespace {

struct HeadCase {
    const char* head;
    int source;
    int dest;
    const char* operation;
    const char* written;  // GetString() of the parsed head
};

class HeadParsing : public testing::TestWithParam<HeadCase> {};

TEST_P(HeadParsing, ParsesAddressesAndWritesThemBack)
{
    const HeadCase& c = GetParam();
    const CCommandType head(c.head);
    EXPECT_EQ(head.Source(), c.source);
    EXPECT_EQ(head.Dest(), c.dest);
    EXPECT_EQ(head.Command(), c.operation);
    EXPECT_EQ(head.GetString(), c.written);
}

INSTANTIATE_TEST_SUITE_P(
    AddressTable, HeadParsing,
    testing::Values(HeadCase{"CCHTID", 0x1000000, 0x4, "ID", "CCHTID"},
                    HeadCase{"HTGCST", 0x4, 0x80000, "ST", "HTGCST"},
                    HeadCase{"A1HTTZ", 0x40000000, 0x4, "TZ", "A1HTTZ"},
                    // Two blanks are found at the start and come back as blanks.
                    HeadCase{"  HTID", 0x1, 0x4, "ID", "  HTID"},
                    // Letters straddling two entries take the value of their position.
                    HeadCase{"T,HTID", 0x8, 0x4, "ID", "MVHTID"},
                    HeadCase{",HHTID", 0x4, 0x4, "ID", "HTHTID"},
                    // The sampler's address is not in the table.
                    HeadCase{"01HTSI", 0x0, 0x4, "SI", "  HTSI"},
                    HeadCase{"GCHTS", 0x0, 0x0, "", "    "},
                    HeadCase{"GCHTSTX", 0x0, 0x0, "", "    "},
                    HeadCase{"", 0x0, 0x0, "", "    "}));

TEST(CommandTypeTest, ValuesConvertToLettersOfTheirHighestBit)
{
    EXPECT_EQ(CCommandType(TARG_A1, TARG_HT, "ID").GetString(), "A1HTID");
    EXPECT_EQ(CCommandType(static_cast<tag_TARG_TYPE>(0x50000), TARG_HT, "ID").GetString(),
              "IFHTID");
    EXPECT_EQ(CCommandType(static_cast<tag_TARG_TYPE>(0x2), TARG_HT, "ID").GetString(), "  HTID");
    EXPECT_EQ(CCommandType(static_cast<tag_TARG_TYPE>(-4), TARG_NONE, nullptr).GetString(),
              "    ");
}

TEST(CommandTypeTest, EqualityNeedsAddressesAndOperation)
{
    EXPECT_TRUE(CCommandType("OVHTTZ") == CCommandType(TARG_OV, TARG_HT, "TZ"));
    EXPECT_FALSE(CCommandType("OVHTTZ") == CCommandType("OVHTTY"));
    EXPECT_FALSE(CCommandType("OVHTTZ") == CCommandType("GCHTTZ"));
    EXPECT_TRUE(CCommandType("OVHTT") == CCommandType::NullCommand);
    EXPECT_EQ(CCommandType::NullCommand.GetString(), "    ");

    CCommandType copy(CCommandType("OVHTTZ"));
    copy = CCommandType(CString("CCHTID"));
    EXPECT_EQ(copy.GetString(), "CCHTID");
}

}  // namespace
