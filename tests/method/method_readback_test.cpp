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

TEST(MethodReadBack, SplitsBlocksIntoCommandsAndKeepsThoseBeforeAMalformedLine)
{
    using gc6890::ReadBackResult;
    struct Case {
        const char* text;
        ReadBackResult result;
        std::vector<std::string> commands;
    };
    // A whole read-back (its "B", "C" and "E" lines) is every download's.
    const Case cases[] = {
        // A short or empty piece ends its own line only.
        {.text = "HTCCMD C;\"OVOVTZ 1;;OVOVSP 0.50;\"\nHTCCMD C;\"GCGCPU 2;OVOV\"\n"
                 "HTCCMD C;\"DFDFNZ 1\"",
         .result = ReadBackResult::Complete,
         .commands = {"OVOVTZ 1", "GCGCPU 2", "DFDFNZ 1"}},
        {.text = "HTCCMD C;\"OVOVTZ 1;\"\nHTCCMD C;OVOVSP 0.50",
         .result = ReadBackResult::NoQuote,
         .commands = {"OVOVTZ 1"}},
        {.text = "HTCCMD C;\"OVOVTZ 1;\"\nHTCCMD C;\"OVOVSP \"0.50;\"",
         .result = ReadBackResult::QuoteInMiddle,
         .commands = {"OVOVTZ 1"}},
    };
    for (const Case& c : cases) {
        CCommandStringList list;
        EXPECT_EQ(gc6890::SplitMethodText(c.text, list), c.result) << c.text;
        EXPECT_EQ(texts(list), c.commands) << c.text;
    }
}

}  // namespace
