// The GC's method result codes: their texts and the box that shows them to the user.
#pragma once

#include "platform/platform.h"

// The text of a non-zero result code from a method check or installation; empty for 0,
// for 34 (which has none) and for any code outside 1 to 59.
CString GetMethodErrorText(int code);

// Shows text in the "6890 Method Error" box (no owner, OK, exclamation icon, brought to the
// foreground) and returns when the user closes it.
void ShowMethodErrorBox(const CString& text);

// The result code of a reply to a method check or installation: the two characters after
// its head and separator, read the C library's atoi way (no digits give 0, success).
int MethodResultCode(const CString& reply);
