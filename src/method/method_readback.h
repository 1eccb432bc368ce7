// Reading the GC's method back: the blocks of "CCHTMD" replies split into parsed commands.
#pragma once

#include "command/command_lists.h"
#include "platform/platform.h"

class CHP6890SerialComms;

namespace gc6890 {

// What splitting the GC's method text found.
enum class ReadBackResult {
    Complete,       // every line split
    NoQuote,        // a line without any double quote
    QuoteInMiddle,  // a line with a double quote inside its quoted part
};

// Splits the GC's replies (joined by line feeds, heads included) into commands appended to
// `list`: per line, the part strictly between its first and last double quote, cut at
// semicolons. A remainder too short to hold a command (under seven characters with its
// semicolon) or an empty piece ends the line. On a
// malformed line the commands of earlier lines stay in the list.
ReadBackResult SplitMethodText(CString text, CCommandStringList& list);

// The read's settings: attempts ("Inlets\\Hubrel\\Varnock\\MethodRetry", default 2) and the
// pause before a further attempt in milliseconds ("...\\FailureSleep", default 1000).
int MethodReadAttempts();
int MethodReadPauseMs();

// Reads the GC's method block by block ("CCHTMD ?", then "CCHTMD +" until the block that
// holds "HTCCMD E") and appends its commands to `list`. 1 on success; 0 after logging a
// failed exchange or a quote inside a quoted part (a line without quotes fails silently).
int ReadMethodFromGC(CHP6890SerialComms& channel, CCommandStringList& list);
// Splits the joined replies as above, logging a quote in the middle of a line.
int ConvertMethodText(CHP6890SerialComms* channel, CString text, CCommandStringList& list);

}  // namespace gc6890
