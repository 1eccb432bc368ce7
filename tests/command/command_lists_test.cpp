#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "command/command_lists.h"

namespace {

std::vector<std::string> linesOf(const CConcatenatedStringList& list)
{
    std::vector<std::string> lines;
    for (POSITION at = list.GetHeadPosition(); at;)
        lines.push_back(list.GetNext(at).str());
    return lines;
}

TEST(CommandStringListTest, SearchesByWholeHeadOrByOperation)
{
    CCommandStringList list;
    CCommandString found{CString("GCHTST 5")};
    EXPECT_EQ(list.GetMatchingCommandString(CCommandType("IFIFCW"), found), 0);
    EXPECT_EQ(list.GetMatchingCommand(CCommandType("IFIFCW"), found), 0);
    EXPECT_EQ(found.GetString(), "GCHTST 5");

    CCommandString front{CString("IFIFCW 1")};
    CCommandString back{CString("IBIFCW 2")};
    list.AddTail(front);
    list.AddTail(back);
    ASSERT_EQ(list.GetMatchingCommandString(CCommandType("IBIFCW"), found), 1);
    EXPECT_EQ(found.GetString(), "IBIFCW 2");
    ASSERT_EQ(list.GetMatchingCommand(CCommandType("IBIFCW"), found), 1);
    EXPECT_EQ(found.GetString(), "IFIFCW 1");
    EXPECT_EQ(list.GetMatchingCommandString(CCommandType("IBIFCX"), found), 0);
}

struct PackingCase {
    int firstLength;  // characters of the first command, without its semicolon
    size_t lines;     // lines after appending "B" to it
};

class Packing : public testing::TestWithParam<PackingCase> {};

TEST_P(Packing, ClosesALineBeforeItReaches421Characters)
{
    CConcatenatedStringList list;
    const std::string first(static_cast<size_t>(GetParam().firstLength), 'A');
    list.Append(first.c_str());
    list.Append("B");
    const auto lines = linesOf(list);
    ASSERT_EQ(lines.size(), GetParam().lines);
    if (lines.size() == 1) {
        EXPECT_EQ(lines[0], "CCHTMD C;\"" + first + ";B;");
    } else {
        EXPECT_EQ(lines[0], "CCHTMD C;\"" + first + ";\"\n");
        EXPECT_EQ(lines[1], "CCHTMD C;\"B;");
    }
}

// 10 characters of opening, the command and its semicolon, then "B;".
INSTANTIATE_TEST_SUITE_P(Boundary, Packing,
                         testing::Values(PackingCase{407, 1},   // 420 characters: fits
                                         PackingCase{408, 2},   // 421: closes
                                         PackingCase{1, 1}));

TEST(ConcatenatedStringListTest, OverLongCommandStandsAlone)
{
    CConcatenatedStringList list;
    const std::string longCommand(410, 'L');  // 411 with its semicolon
    list.Append(longCommand.c_str());
    list.Append("GCHTST");
    const auto lines = linesOf(list);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "CCHTMD C;\"\"\n");
    EXPECT_EQ(lines[1], "CCHTMD C;\"" + longCommand + ";\"\n");
    EXPECT_EQ(lines[2], "CCHTMD C;\"GCHTST;");
}

}  // namespace
