// The dump file: a second, simpler trace ("c:\6890dump.txt"), one stamped entry per call.
#pragma once

#include "platform/platform.h"

// Appends "File: <source>\tLine: 67\tTime: <ctime>" and the message (unchanged, no
// terminator added), flushed at once. A dump that cannot be written is lost.
void Dump(CString& message);

// Closes the dump file; the next dump opens it again. Run when the library is unloaded.
void CleanUpDump();
