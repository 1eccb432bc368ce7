// Splitting the GC's method replies into commands, and sorting commands into the two parts
// of a method block.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "method/method_command.h"
#include "method/method_readback.h"

namespace {

std::vector<std::string> texts(const CCommandStringList& list)
{
    std::vector<std::string> out;
    for (POSITION at = list.GetHeadPosition(); at;)
        out.push_back(list.GetNext(at).GetString().str());
    return out;
}

TEST(MethodReadBack, EmptyFirstBlockTwoCommandsAndNoneGiveExactlyTheTwoCommands)
{
    CCommandStringList list;
    const CString text = "HTCCMD B;\"\"\nHTCCMD C;\"OVOVTZ 1;GCGCPO 0.00,0;\"\nHTCCMD E;\"NONE\"";
    EXPECT_EQ(gc6890::SplitMethodText(text, list), gc6890::ReadBackResult::Complete);
    EXPECT_EQ(texts(list), (std::vector<std::string>{"OVOVTZ 1", "GCGCPO 0.00,0"}));
}

TEST(MethodReadBack, ShortOrEmptyPieceEndsItsLineOnly)
{
    CCommandStringList list;
    const CString text = "HTCCMD C;\"OVOVTZ 1;;OVOVSP 0.50;\"\nHTCCMD C;\"GCGCPU 2;OVOV\"\n"
                         "HTCCMD C;\"DFDFNZ 1\"";
    EXPECT_EQ(gc6890::SplitMethodText(text, list), gc6890::ReadBackResult::Complete);
    EXPECT_EQ(texts(list), (std::vector<std::string>{"OVOVTZ 1", "GCGCPU 2", "DFDFNZ 1"}));
}

TEST(MethodReadBack, MalformedLinesFailAndKeepEarlierCommands)
{
    CCommandStringList list;
    EXPECT_EQ(gc6890::SplitMethodText("HTCCMD C;\"OVOVTZ 1;\"\nHTCCMD C;OVOVSP 0.50", list),
              gc6890::ReadBackResult::NoQuote);
    EXPECT_EQ(texts(list), (std::vector<std::string>{"OVOVTZ 1"}));
    EXPECT_EQ(gc6890::SplitMethodText("HTCCMD C;\"OVOVSP \"0.50;\"", list),
              gc6890::ReadBackResult::QuoteInMiddle);
    EXPECT_EQ(list.GetCount(), 1);
}

}  // namespace
