// Lists of commands: parsed commands searched by head, and command texts packed into the
// method-block lines that carry a whole method to the GC.
#pragma once

#include "command/command_string.h"
#include "command/command_type.h"
#include "platform/platform.h"

class CCommandStringList : public CList<CCommandString, CCommandString&> {
public:
    CCommandStringList() : CList(10) {}

    // Copies into found the first command, from the head end, whose head equals head
    // (addresses and operation); returns 1. Returns 0 and leaves found alone otherwise.
    int GetMatchingCommandString(CCommandType head, CCommandString& found) const;
    // The same search matching the operation letters alone, whatever the addresses.
    int GetMatchingCommand(CCommandType head, CCommandString& found) const;
};

// Lines of the form "CCHTMD C;\"" followed by commands, each ending in ";". A line is
// closed with "\"\n" before it would reach 421 characters; the last line is left open
// for the owner to close.
class CConcatenatedStringList : public CStringList {
public:
    CConcatenatedStringList() : CStringList(10) {}

    // Adds one command to the last line, or to a new line when it does not fit. A command
    // too long for any line stands alone in a line of its own.
    void Append(CString command);
};
