// The process-wide table of live windows: every created window has a handle here until it
// is destroyed. Handles are never reused, so a handle kept after its window is gone stays
// dead (IsWindow gives FALSE, SendMessage gives 0) instead of reaching another window.
#pragma once

#include <vector>

#include "platform/types.h"

class CWnd;

BOOL IsWindow(HWND window);

// Dispatches at once through the target's WindowProc and returns its answer. A message to
// a window that does not exist (any more) is lost and answered with 0. The target may
// destroy or delete itself inside its handler.
LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Destroys the window of that handle; FALSE when there is none.
BOOL DestroyWindow(HWND window);

namespace gc6890 {

// Used by CWnd: enters a window in the table and returns its new handle, and takes it out.
HWND addWindow(CWnd* window);
void removeWindow(HWND handle);

// The window object of a live handle, or null.
CWnd* windowFromHandle(HWND handle);

// Every live handle, in creation order.
std::vector<HWND> liveWindows();

}  // namespace gc6890
