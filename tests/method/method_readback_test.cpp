// Splitting the GC's method replies into commands.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "method/method_readback.h"

namespace {

std::vector<std::string> texts(const CCommandStringList& list)
{
    std::vector<std::string> out;
    for (POSITION at = list.GetHeadPosition(); at;)
        out.push_back(list.GetNext(at).GetString().str());
    return out;
}

// A whole read-back (its "B", "C" and "E" lines) is every download's; a line without quotes
// or with one inside is the download's read-back case (method_download_test.cpp).
TEST(MethodReadBack, AShortOrEmptyPieceEndsItsOwnLineOnly)
{
    CCommandStringList list;
    EXPECT_EQ(gc6890::SplitMethodText("HTCCMD C;\"OVOVTZ 1;;OVOVSP 0.50;\"\n"
                                      "HTCCMD C;\"GCGCPU 2;OVOV\"\nHTCCMD C;\"DFDFNZ 1\"",
                                      list),
              gc6890::ReadBackResult::Complete);
    EXPECT_EQ(texts(list), (std::vector<std::string>{"OVOVTZ 1", "GCGCPU 2", "DFDFNZ 1"}));
}

}  // namespace
