#include "method/method_readback.h"

#include "method/method_command.h"

namespace gc6890 {

namespace {

// A remainder this short cannot hold another command (a head is six characters).
constexpr int kShortestRemainder = 7;

}  // namespace

ReadBackResult SplitMethodText(CString text, CCommandStringList& list)
{
    while (!text.IsEmpty()) {
        const int feed = text.Find('\n');
        const CString line = feed < 0 ? text : text.Left(feed);
        text = feed < 0 ? CString() : text.Mid(feed + 1);

        const int first = line.Find('"');
        if (first < 0)
            return ReadBackResult::NoQuote;
        const int last = line.ReverseFind('"');
        CString rest = line.Mid(first + 1, last - first - 1);
        if (rest.Find('"') >= 0)
            return ReadBackResult::QuoteInMiddle;

        // One semicolon is added per round, so the last command ends in one too; those
        // that pile up at the end are never part of a command.
        for (;;) {
            rest += ";";
            const int semicolon = rest.Find(';');
            if (rest.GetLength() < kShortestRemainder || semicolon == 0)
                break;
            CCommandString command(rest.Left(semicolon));
            list.AddTail(command);
            rest = rest.Mid(semicolon + 1);
        }
    }
    return ReadBackResult::Complete;
}

bool IsWorkfileCommand(const CCommandString& command)
{
    const CCommandType& head = command.GetType();
    return head.Command() == "CW" || head == CCommandType("CCCCIW") ||
           head == CCommandType("IFIFRC") || head == CCommandType("IBIBRC");
}

void SortIntoMethod(const CCommandStringList& list, CMethodCommand& method)
{
    for (POSITION at = list.GetHeadPosition(); at;) {
        CCommandString command = list.GetNext(at);
        if (IsWorkfileCommand(command))
            method.AddWorkfileComponent(command);
        else
            method.AddComponent(command);
    }
}

}  // namespace gc6890
