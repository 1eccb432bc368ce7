#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "command/command_lists.h"

namespace {

TEST(CommandStringListTest, SearchesByWholeHeadOrByOperation)
{
    CCommandStringList list;
    CCommandString found{CString("GCHTST 5")};
    EXPECT_EQ(list.GetMatchingCommandString(CCommandType("IFIFCW"), found), 0);
    EXPECT_EQ(list.GetMatchingCommand(CCommandType("IFIFCW"), found), 0);
    EXPECT_EQ(found.GetString(), "GCHTST 5");

    for (const char* line : {"IFIFCW 1", "IBIFCW 2"}) {
        CCommandString command{CString(line)};
        list.AddTail(command);
    }
    ASSERT_EQ(list.GetMatchingCommandString(CCommandType("IBIFCW"), found), 1);
    EXPECT_EQ(found.GetString(), "IBIFCW 2");
    ASSERT_EQ(list.GetMatchingCommand(CCommandType("IBIFCW"), found), 1);
    EXPECT_EQ(found.GetString(), "IFIFCW 1");
    EXPECT_EQ(list.GetMatchingCommandString(CCommandType("IBIFCX"), found), 0);
}

// Appends the commands and returns the packed lines.
std::vector<std::string> pack(std::initializer_list<std::string> commands)
{
    CConcatenatedStringList list;
    for (const std::string& command : commands)
        list.Append(command.c_str());
    std::vector<std::string> lines;
    for (POSITION at = list.GetHeadPosition(); at;)
        lines.push_back(list.GetNext(at).str());
    return lines;
}

TEST(ConcatenatedStringListTest, ClosesALineBeforeItReaches421Characters)
{
    using Lines = std::vector<std::string>;
    const std::string open = "CCHTMD C;\"", a407(407, 'A'), a408(408, 'A'), a410(410, 'L');
    EXPECT_EQ(pack({"GCHTST"}), Lines{open + "GCHTST;"});
    // 10 characters of opening, 408 of command and semicolon, then "B;": 420 fit.
    EXPECT_EQ(pack({a407, "B"}), Lines{open + a407 + ";B;"});
    EXPECT_EQ(pack({a408, "B"}), (Lines{open + a408 + ";\"\n", open + "B;"}));
    // A command of 411 characters with its semicolon stands alone, even when first.
    EXPECT_EQ(pack({a410, "B"}), (Lines{open + "\"\n", open + a410 + ";\"\n", open + "B;"}));
}

}  // namespace
