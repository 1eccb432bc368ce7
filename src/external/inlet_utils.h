// The host framework's utility functions that the library calls: registry values by
// path, the host's status line, data messages between windows, method file names, the
// sampler's vial range and window classes.
#pragma once

#include <functional>

#include "platform/platform.h"

// Registry values by backslash path whose last element names the value. The caller sets
// value to its default first; an absent or unreadable value leaves it standing. Non-zero
// when the value was read (or written).
int ReadRegistryPath(CString path, int& value, HKEY root);
int ReadRegistryPath(CString path, CString& value, HKEY root);
int WriteRegistryPath(CString path, int value, HKEY root);
int WriteRegistryPath(CString path, CString value, HKEY root);

// Shows text in the host's status line, through the status-line handler.
void FlashStatusText(const char* text, const char* text2, int flag);

using StatusTextHandler = std::function<void(const char* text, const char* text2)>;
// Installs a status-line handler (an empty one restores the default, which writes both
// texts to standard error, all but the idle text "For Help, press F1") and returns the
// previous one.
StatusTextHandler SetStatusTextHandler(StatusTextHandler handler);

// Delivers a copy of the size bytes at data to the target window's handler for message,
// as its lParam, and returns the handler's result (0 for a window that does not exist).
LRESULT SendDataMessage(HWND target, UINT message, UINT wParam, long data, unsigned long size);

// Completes a method name to its file name: the extension ".toml" is added when missing,
// and a name without a folder is looked up in the methods folder (the settings value
// "Inlets\Hubrel\Varnock\MethodFolder", else $GC6890_HOME/methods). A completed name is
// left as it is.
void AddMethodFileExtension(const char* type, CString& name);

// Tells the host the valid sampler vial numbers.
void SetVialRange(int first, int last);

namespace gc6890 {
inline constexpr const char* kMethodFileExtension = ".toml";

struct VialRange {
    int first = 0;
    int last = 0;
};
// The range last given to SetVialRange, for the host to read.
VialRange GetVialRange();
// The folder bare method names are looked up in.
std::string methodFolder();
}  // namespace gc6890
