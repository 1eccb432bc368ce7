#include "command/command_lists.h"

namespace {

// Opens every method-block line.
constexpr const char* kBlockOpening = "CCHTMD C;\"";
// A line reaching this length with its next command is closed first.
constexpr int kLineLimit = 421;

}  // namespace

int CCommandStringList::GetMatchingCommandString(CCommandType head, CCommandString& found) const
{
    for (POSITION at = GetHeadPosition(); at;) {
        const CCommandString& command = GetNext(at);
        if (command.GetType() == head) {
            found = command;
            return 1;
        }
    }
    return 0;
}

int CCommandStringList::GetMatchingCommand(CCommandType head, CCommandString& found) const
{
    const CString operation = head.Command();
    for (POSITION at = GetHeadPosition(); at;) {
        const CCommandString& command = GetNext(at);
        if (command.GetType().Command() == operation) {
            found = command;
            return 1;
        }
    }
    return 0;
}

void CConcatenatedStringList::Append(CString command)
{
    command += ";";
    if (IsEmpty())
        AddTail(kBlockOpening);
    // The check runs even on a line that holds no command yet, so an over-long first
    // command leaves the opening line closed empty before it.
    if (command.GetLength() + GetTail().GetLength() >= kLineLimit) {
        GetTail() += "\"\n";
        AddTail(kBlockOpening);
    }
    GetTail() += command;
}
